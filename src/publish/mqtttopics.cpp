#include "publish/mqtttopics.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

constexpr int MaxPackIdLength = 64;
constexpr int MaxPrefixLength = 200;

bool isIdChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'_' || c == u'-';
}

} // namespace

MqttTopics::MqttTopics(const QString &prefix, const QString &packId)
    : m_prefix(prefix), m_packId(packId)
{ }

QString MqttTopics::nodeId() const
{
    return sanitisePackId(m_prefix + u'_' + m_packId);
}

bool MqttTopics::isValidPackId(const QString &id)
{
    if (id.isEmpty() || id.size() > MaxPackIdLength)
        return false;
    for (const QChar c : id) {
        if (!isIdChar(c))
            return false;
    }
    return true;
}

QString MqttTopics::sanitisePackId(const QString &raw)
{
    QString id;
    id.reserve(raw.size());
    for (const QChar c : raw) {
        const QChar kept = isIdChar(c) ? c : QChar(u'_');
        if (kept == u'_' && (id.isEmpty() || id.endsWith(u'_')))
            continue;
        id.append(kept);
    }
    while (id.endsWith(u'_'))
        id.chop(1);
    if (id.size() > MaxPackIdLength)
        id.truncate(MaxPackIdLength);
    return id.isEmpty() ? QStringLiteral("pack") : id;
}

QString MqttTopics::packIdFor(const QString &serialNumber, const QString &portName)
{
    if (!serialNumber.trimmed().isEmpty())
        return sanitisePackId(serialNumber);
    return sanitisePackId(portName);
}

QString MqttTopics::packIdForPort(const QString &port)
{
    const QSerialPortInfo info(port);
    // A path the system does not list as a port (a link, a pseudo-terminal) names itself.
    const QString name = info.isNull() || info.portName().isEmpty() ? QFileInfo(port).fileName()
                                                                    : info.portName();
    return packIdFor(info.serialNumber(), name.isEmpty() ? port : name);
}

bool MqttTopics::isValidPrefix(const QString &prefix, QString *error)
{
    QString why;
    if (prefix.isEmpty())
        why = QStringLiteral("the topic prefix is empty");
    else if (prefix.size() > MaxPrefixLength)
        why = QStringLiteral("the topic prefix is longer than %1 characters").arg(MaxPrefixLength);
    else if (prefix.contains(u'+') || prefix.contains(u'#'))
        why = QStringLiteral("the topic prefix must not hold the wildcards + or #");
    else if (prefix.startsWith(u'$'))
        why = QStringLiteral("topics starting with $ belong to the broker");
    else if (prefix.startsWith(u'/') || prefix.endsWith(u'/')
             || prefix.contains(QLatin1String("//")))
        why = QStringLiteral("the topic prefix has an empty level");
    else if (prefix.contains(QChar(0)))
        why = QStringLiteral("the topic prefix holds a NUL character");
    if (error)
        *error = why;
    return why.isEmpty();
}
