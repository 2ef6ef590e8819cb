#include "publish/mqttclient.h"

#include "publish/mqttconnection.h"
#include "publish/publishlog.h"

#include <QFileInfo>
#include <QThread>

MqttClient::MqttClient(QObject *parent) : QObject(parent) { }

MqttClient::~MqttClient()
{
    stop();
}

QString MqttClient::checkSettings(const MqttClientSettings &settings)
{
    if (!settings.url.isValid())
        return QStringLiteral("no broker address given");
    if (!settings.caFile.isEmpty()) {
        if (!settings.url.tls())
            return QStringLiteral("a CA file is only used with mqtts:// (the URL is mqtt://)");
        const QFileInfo ca(settings.caFile);
        if (!ca.exists())
            return QStringLiteral("CA file not found: %1").arg(settings.caFile);
        if (!ca.isFile() || !ca.isReadable())
            return QStringLiteral("CA file cannot be read: %1").arg(settings.caFile);
    }
    const QString &status = settings.statusTopic;
    if (status.contains(u'+') || status.contains(u'#'))
        return QStringLiteral("status topic with a wildcard: %1").arg(status);
    return QString();
}

bool MqttClient::start(const MqttClientSettings &settings)
{
    stop();
    m_lastError = checkSettings(settings);
    if (!m_lastError.isEmpty())
        return false;
    m_settings = settings;
    m_dropped = 0;
    m_droppedSinceConnect = 0;
    m_lastFailure.clear();

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("mqtt"));
    m_outbox = std::make_shared<MqttOutbox>();
    m_connection = new MqttConnection(settings, m_outbox);
    m_connection->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_connection, &QObject::deleteLater);
    connect(m_connection, &MqttConnection::connected, this, &MqttClient::onConnected);
    connect(m_connection, &MqttConnection::connectionLost, this, &MqttClient::onConnectionLost);
    connect(m_connection, &MqttConnection::attemptFailed, this, &MqttClient::onAttemptFailed);
    connect(m_connection, &MqttConnection::messagesDropped, this, &MqttClient::onDropped);
    connect(m_connection, &MqttConnection::publishFailed, this, &MqttClient::publishFailed);
    m_thread->start();
    m_state = State::Connecting;
    QMetaObject::invokeMethod(m_connection, &MqttConnection::open, Qt::QueuedConnection);
    return true;
}

void MqttClient::stop()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_connection, &MqttConnection::close, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    // The connection went with the thread (deleteLater on finished).
    m_connection = nullptr;
    delete m_thread;
    m_thread = nullptr;
    m_state = State::Stopped;
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (m_state != State::Connected) {
        onDropped(1);
        return false;
    }
    bool wake = false;
    if (!m_outbox->put({topic, payload, qos, retain}, wake)) {
        onDropped(1);
        return false;
    }
    if (wake)
        QMetaObject::invokeMethod(m_connection, &MqttConnection::drain, Qt::QueuedConnection);
    return true;
}

void MqttClient::onConnected()
{
    m_state = State::Connected;
    m_lastFailure.clear();
    const qint64 dropped = m_droppedSinceConnect;
    m_droppedSinceConnect = 0;
    if (dropped > 0)
        emit droppedWhileDisconnected(dropped);
    emit connected();
}

void MqttClient::onConnectionLost(const QString &reason)
{
    m_state = State::Connecting;
    m_lastFailure = reason;
    emit connectionLost(reason);
}

void MqttClient::onAttemptFailed(const QString &reason)
{
    if (m_state == State::Stopped || reason == m_lastFailure)
        return;
    m_lastFailure = reason;
    emit attemptFailed(reason);
}

void MqttClient::onDropped(int count)
{
    m_dropped += count;
    m_droppedSinceConnect += count;
}
