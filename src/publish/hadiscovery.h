#pragma once

#include "publish/hasensor.h"
#include "publish/mqtttopics.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class ProtocolConfig;

// Home Assistant's MQTT discovery for one pack: a retained config message per sensor under
// homeassistant/sensor/<node>/<key>/config, all grouped under one device and tied to the pack's
// state and status topics; an empty retained message removes a sensor again.
class HaDiscovery
{
public:
    static constexpr char DiscoveryPrefix[] = "homeassistant";

    struct Message
    {
        QString topic;
        QByteArray payload; // empty: remove
    };

    HaDiscovery(const MqttTopics &topics, const QString &model);

    QList<Message> announce(const QList<HaSensor> &sensors) const;
    QList<Message> remove(const QList<HaSensor> &sensors) const;
    QString configTopic(const HaSensor &sensor) const;
    QString uniqueId(const HaSensor &sensor) const;

    // The sensors for the values of these commands' frames: their segments, then the derived
    // values. Aliases that repeat another value (data_number, data_protocolversion) and the
    // local time text are left out.
    static QList<HaSensor> sensors(const ProtocolConfig *config, const QStringList &commands,
                                   int language);
    // Home Assistant's spelling of a protocol file's unit ("℃" is "°C", "AH" is "Ah").
    static QString haUnit(const QString &unit);

private:
    QByteArray configPayload(const HaSensor &sensor) const;

    MqttTopics m_topics;
    QString m_model;
};
