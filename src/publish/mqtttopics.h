#pragma once

#include <QString>

// The topics of one pack: <prefix>/<pack>/state, /status and /alarm, and the rules for the two
// parts a user names.
class MqttTopics
{
public:
    static constexpr char DefaultPrefix[] = "cellscribe";

    MqttTopics() = default;
    MqttTopics(const QString &prefix, const QString &packId);

    QString prefix() const { return m_prefix; }
    QString packId() const { return m_packId; }
    QString state() const { return base() + QLatin1String("/state"); }
    QString status() const { return base() + QLatin1String("/status"); }
    QString alarm() const { return base() + QLatin1String("/alarm"); }
    // One id for this pack under this prefix, usable in Home Assistant's topics and ids.
    QString nodeId() const;

    // A pack id is one topic level that Home Assistant also takes in its ids: letters, digits,
    // '_' and '-', at most 64 characters.
    static bool isValidPackId(const QString &id);
    // Any text made into a valid pack id: other characters become '_', runs of '_' are merged,
    // outer ones dropped; "pack" when nothing is left.
    static QString sanitisePackId(const QString &raw);
    // The default pack id of a port: its adapter's serial number, else the port's name.
    static QString packIdFor(const QString &serialNumber, const QString &portName);
    // The same, looked up for a port name or path.
    static QString packIdForPort(const QString &port);

    // A prefix is a topic of one or more levels without wildcards: no '+', '#', empty level,
    // leading '$' or outer '/'. error says why not.
    static bool isValidPrefix(const QString &prefix, QString *error = nullptr);

private:
    QString base() const { return m_prefix + u'/' + m_packId; }

    QString m_prefix;
    QString m_packId;
};
