#include "publish/mqttpublisher.h"

#include "protocol/protocolconfig.h"
#include "publish/hadiscovery.h"
#include "publish/jsonwriter.h"
#include "publish/mqttclient.h"
#include "publish/publishlog.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

// Discovery, status and alarms must arrive: acknowledged, whatever the state messages use.
constexpr int ReliableQos = 1;
// State messages kept while the first connect is under way.
constexpr qsizetype MaxWaiting = 1000;

} // namespace

MqttPublisher::MqttPublisher(QObject *parent) : QObject(parent)
{
    m_client = new MqttClient(this);
    connect(m_client, &MqttClient::connected, this, &MqttPublisher::onConnected);
    connect(m_client, &MqttClient::connectionLost, this, &MqttPublisher::connectionLost);
    connect(m_client, &MqttClient::attemptFailed, this, &MqttPublisher::onAttemptFailed);
    connect(m_client, &MqttClient::droppedWhileDisconnected, this,
            &MqttPublisher::droppedWhileDisconnected);
    connect(m_client, &MqttClient::publishFailed, this, &MqttPublisher::publishFailed);
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::setProtocol(const ProtocolConfig *config, const QString &command)
{
    m_config = config;
    m_command = command;
    m_payload.setKeyOrder(StatePayload::keyOrder(config, command));
    // A new protocol or command has other sensors: announce them at once.
    if (isConnected())
        announce();
}

QString MqttPublisher::checkSettings(const MqttPublisherSettings &settings)
{
    if (!settings.url.isValid())
        return QStringLiteral("no broker address given");
    QString error;
    if (!MqttTopics::isValidPrefix(settings.prefix, &error))
        return error;
    if (!MqttTopics::isValidPackId(settings.packId))
        return QStringLiteral("pack id \"%1\": use 1 to 64 letters, digits, '_' or '-'")
                .arg(settings.packId);
    if (settings.qos != 0 && settings.qos != 1)
        return QStringLiteral("QoS %1: use 0 or 1").arg(settings.qos);
    if (!std::isfinite(settings.everySeconds) || settings.everySeconds < 0)
        return QStringLiteral("the publishing period must be 0 or more seconds");
    MqttClientSettings client;
    client.url = settings.url;
    client.caFile = settings.caFile;
    return MqttClient::checkSettings(client);
}

bool MqttPublisher::start(const MqttPublisherSettings &settings)
{
    stop();
    m_lastError = checkSettings(settings);
    if (!m_lastError.isEmpty())
        return false;
    m_settings = settings;
    const MqttTopics names = topics();
    m_stateTopic = names.state();
    m_alarmTopic = names.alarm();
    m_payload.setPackId(settings.packId);
    m_payload.setLanguage(settings.language);
    m_everyMs = qint64(std::llround(settings.everySeconds * 1000));
    m_anyPublished = false;
    m_published = 0;
    m_removalPending = false;
    m_waiting.clear();
    m_firstAttempt = true;

    MqttClientSettings client;
    client.url = settings.url;
    client.caFile = settings.caFile;
    client.clientId =
            QStringLiteral("cellscribe-%1-%2")
                    .arg(settings.packId.left(40))
                    .arg(quint32(QRandomGenerator::global()->generate()), 8, 16, QLatin1Char('0'));
    if (settings.status)
        client.statusTopic = names.status();
    client.connectTimeoutMs = settings.connectTimeoutMs;
    client.retryFirstMs = settings.retryFirstMs;
    client.retryLastMs = settings.retryLastMs;
    if (!m_client->start(client)) {
        m_lastError = m_client->lastError();
        return false;
    }
    qCDebug(lcPublish) << "Publishing" << settings.packId << "to" << settings.url.toDisplayString();
    return true;
}

void MqttPublisher::stop()
{
    dropWaiting();
    m_client->stop();
}

void MqttPublisher::dropWaiting()
{
    m_firstAttempt = false;
    if (m_waiting.isEmpty())
        return;
    m_client->noteDropped(m_waiting.size());
    m_waiting.clear();
}

void MqttPublisher::onAttemptFailed(const QString &reason)
{
    dropWaiting();
    emit attemptFailed(reason);
}

bool MqttPublisher::isRunning() const
{
    return m_client->state() != MqttClient::State::Stopped;
}

bool MqttPublisher::isConnected() const
{
    return m_client->isConnected();
}

qint64 MqttPublisher::droppedCount() const
{
    return m_client->droppedCount();
}

qint64 MqttPublisher::droppedSinceConnect() const
{
    return m_client->droppedSinceConnect();
}

QList<HaSensor> MqttPublisher::announcedSensors() const
{
    return HaDiscovery::sensors(m_config, QStringList{m_command}, m_settings.language);
}

void MqttPublisher::publishSample(const Sample &sample, const AcquisitionStats &stats)
{
    if (!isRunning())
        return;
    if (m_everyMs > 0) {
        // Due times step by the period, so frames a little early or late do not drift the
        // rhythm; a tenth of the period counts as on time.
        if (m_anyPublished && sample.timeMs + m_everyMs / 10 < m_nextDueMs)
            return;
        m_nextDueMs = m_anyPublished ? m_nextDueMs + m_everyMs : sample.timeMs + m_everyMs;
        if (m_nextDueMs <= sample.timeMs)
            m_nextDueMs = sample.timeMs + m_everyMs;
    }
    m_anyPublished = true;
    const QByteArray payload = m_payload.build(sample, stats, m_client->droppedCount());
    if (m_firstAttempt && !isConnected()) {
        if (m_waiting.size() < MaxWaiting)
            m_waiting.append(payload);
        else
            m_client->noteDropped(1);
        return;
    }
    if (m_client->publish(m_stateTopic, payload, m_settings.qos, false))
        ++m_published;
}

void MqttPublisher::publishAlarm(const MqttAlarm &alarm)
{
    if (!isRunning())
        return;
    JsonWriter json(256);
    json.beginObject();
    json.value(u"time", StatePayload::isoUtc(alarm.timeMs));
    json.value(u"pack", m_settings.packId);
    json.value(u"event", alarm.raised ? "raised" : "cleared");
    json.value(u"rule", alarm.rule);
    json.value(u"key", alarm.key);
    if (alarm.cell > 0)
        json.value(u"cell", qint64(alarm.cell));
    json.value(u"severity", alarm.severity);
    json.value(u"value", alarm.value);
    json.value(u"message", alarm.message);
    json.endObject();
    m_client->publish(m_alarmTopic, json.take(), ReliableQos, false);
}

void MqttPublisher::onConnected()
{
    if (m_settings.homeAssistant && !m_removalPending)
        announce();
    if (m_removalPending)
        sendRemoval();
    m_firstAttempt = false;
    const QList<QByteArray> waiting = std::exchange(m_waiting, {});
    for (const QByteArray &payload : waiting) {
        if (m_client->publish(m_stateTopic, payload, m_settings.qos, false))
            ++m_published;
    }
    emit connected();
}

void MqttPublisher::announce()
{
    if (!m_settings.homeAssistant || !m_config)
        return;
    const HaDiscovery discovery(topics(), m_config->name());
    const auto messages = discovery.announce(announcedSensors());
    for (const HaDiscovery::Message &message : messages)
        m_client->publish(message.topic, message.payload, ReliableQos, true);
    qCDebug(lcPublish) << "Announced" << messages.size() << "sensors to Home Assistant";
}

void MqttPublisher::removeDiscovery()
{
    if (!isRunning())
        return;
    m_removalPending = true;
    if (isConnected())
        sendRemoval();
}

void MqttPublisher::sendRemoval()
{
    m_removalPending = false;
    // Gone for the rest of the run: a reconnect does not announce the pack again.
    m_settings.homeAssistant = false;
    const QStringList commands = m_config ? m_config->commandNames() : QStringList{m_command};
    const HaDiscovery discovery(topics(), QString());
    const auto messages =
            discovery.remove(HaDiscovery::sensors(m_config, commands, m_settings.language));
    for (const HaDiscovery::Message &message : messages)
        m_client->publish(message.topic, QByteArray(), ReliableQos, true);
    if (!m_settings.status)
        m_client->publish(topics().status(), QByteArray(), ReliableQos, true);
    emit discoveryRemoved();
}
