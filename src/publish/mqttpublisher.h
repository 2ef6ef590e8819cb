#pragma once

#include "acquisition/acquisitionstats.h"
#include "acquisition/sample.h"
#include "protocol/protocolconfig.h"
#include "publish/hasensor.h"
#include "publish/mqttalarm.h"
#include "publish/mqttpublishersettings.h"
#include "publish/statepayload.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class MqttClient;

// Publishes one pack to an MQTT broker: a state message per frame (or per throttle period), the
// pack's status (online, or offline as the will), alarms as they are raised and cleared, and Home
// Assistant discovery at every connect. A consumer of the acquisition: it never holds the
// acquisition up, and what it cannot send while the broker is away is counted and reported.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    explicit MqttPublisher(QObject *parent = nullptr);
    ~MqttPublisher() override;

    // The protocol whose values are published and the command polled: the order of the values
    // and the sensors announced. Not owned; set again after a protocol switch.
    void setProtocol(const ProtocolConfig *config, const QString &command);

    // Why these settings cannot work; empty when they can.
    static QString checkSettings(const MqttPublisherSettings &settings);
    // false with lastError() when the settings cannot work; an unreachable broker is no error.
    bool start(const MqttPublisherSettings &settings);
    void stop();
    bool isRunning() const;
    bool isConnected() const;
    QString lastError() const { return m_lastError; }
    const MqttPublisherSettings &settings() const { return m_settings; }
    MqttTopics topics() const { return MqttTopics(m_settings.prefix, m_settings.packId); }

    qint64 publishedCount() const { return m_published; }
    qint64 droppedCount() const;
    // Dropped since the last connect: not yet reported by droppedWhileDisconnected().
    qint64 droppedSinceConnect() const;

    // The sensors announced for the current protocol and command.
    QList<HaSensor> announcedSensors() const;

public slots:
    void publishSample(const Sample &sample, const AcquisitionStats &stats);
    void publishAlarm(const MqttAlarm &alarm);
    // Empty retained configs for every sensor any command of the protocol could have announced,
    // and an empty retained status: the pack leaves Home Assistant and the broker's memory, and is
    // not announced again in this run. Sent now when connected, else at the next connect;
    // discoveryRemoved() follows.
    void removeDiscovery();

signals:
    void connected();
    void connectionLost(const QString &reason);
    void attemptFailed(const QString &reason);
    void droppedWhileDisconnected(qint64 count);
    void publishFailed(const QString &reason);
    void discoveryRemoved();

private:
    void onConnected();
    void onAttemptFailed(const QString &reason);
    void dropWaiting();
    void announce();
    void sendRemoval();

    MqttPublisherSettings m_settings;
    MqttClient *m_client = nullptr;
    // Not owned: a protocol switch deletes it, which leaves this empty.
    QPointer<const ProtocolConfig> m_config;
    QString m_command;
    StatePayload m_payload;
    QString m_stateTopic;
    QString m_alarmTopic;
    QString m_lastError;
    qint64 m_everyMs = 0;
    qint64 m_nextDueMs = 0;
    bool m_anyPublished = false;
    bool m_removalPending = false;
    qint64 m_published = 0;
    // State messages of the first frames, kept while the first connect is under way (a run's
    // first answer usually comes before the broker's): sent when it succeeds, dropped and
    // counted when it fails.
    QList<QByteArray> m_waiting;
    bool m_firstAttempt = false;
};
