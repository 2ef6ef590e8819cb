#include "publish/mqttconnection.h"

#include "publish/publishlog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <mutex>

// Built where libmosquitto's header is found (a syntax-only build for another platform may lack
// it); the build system only adds this module when the library is there.
#if __has_include(<mosquitto.h>)
#include <mosquitto.h>

namespace {

constexpr char OnlinePayload[] = "online";
constexpr char OfflinePayload[] = "offline";
constexpr int StatusQos = 1;
constexpr int CloseFlushMs = 2000;
constexpr int MaxReadsWhileConnecting = 100;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString madeUpClientId()
{
    return QStringLiteral("cellscribe-%1")
            .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 12, 16,
                 QLatin1Char('0'));
}

} // namespace

MqttConnection::MqttConnection(const MqttClientSettings &settings,
                               std::shared_ptr<MqttOutbox> outbox)
    : m_settings(settings), m_outbox(std::move(outbox))
{ }

MqttConnection::~MqttConnection()
{
    if (m_client)
        mosquitto_destroy(m_client);
}

void MqttConnection::open()
{
    initLibrary();
    m_housekeeping = new QTimer(this);
    m_housekeeping->setInterval(1000);
    connect(m_housekeeping, &QTimer::timeout, this, &MqttConnection::housekeeping);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &MqttConnection::attempt);
    m_connectTimer = new QTimer(this);
    m_connectTimer->setSingleShot(true);
    connect(m_connectTimer, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("no answer from the broker within %1 s")
                     .arg(m_settings.connectTimeoutMs / 1000.0));
    });

    const QString id = m_settings.clientId.isEmpty() ? madeUpClientId() : m_settings.clientId;
    m_client = mosquitto_new(id.toUtf8().constData(), true, this);
    if (!m_client) {
        emit attemptFailed(
                QStringLiteral("cannot create an MQTT client: %1").arg(qt_error_string(errno)));
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttConnection::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttConnection::onPublish);
    mosquitto_log_callback_set(m_client, &MqttConnection::onLog);

    const MqttUrl &url = m_settings.url;
    int rc = MOSQ_ERR_SUCCESS;
    if (!url.user().isEmpty()) {
        const QByteArray user = url.user().toUtf8();
        const QByteArray password = url.password().toUtf8();
        rc = mosquitto_username_pw_set(m_client, user.constData(),
                                       url.password().isEmpty() ? nullptr : password.constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.statusTopic.isEmpty()) {
        rc = mosquitto_will_set(m_client, m_settings.statusTopic.toUtf8().constData(),
                                int(sizeof(OfflinePayload) - 1), OfflinePayload, StatusQos, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && url.tls()) {
        if (m_settings.caFile.isEmpty()) {
            rc = mosquitto_int_option(m_client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            rc = mosquitto_tls_set(m_client, QFile::encodeName(m_settings.caFile).constData(),
                                   nullptr, nullptr, nullptr, nullptr);
        }
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        emit attemptFailed(QStringLiteral("cannot set up the MQTT client: %1").arg(errorText(rc)));
        mosquitto_destroy(m_client);
        m_client = nullptr;
        return;
    }
    m_housekeeping->start();
    attempt();
}

void MqttConnection::attempt()
{
    if (!m_client)
        return;
    m_state = State::Connecting;
    m_connack = -1;
    m_disconnected = false;
    m_readsWhileConnecting = 0;
    m_libraryError.clear();
    unwatchSocket();
    qCDebug(lcPublish) << "Connecting to" << m_settings.url.toDisplayString();
    // Non-blocking: the attempt goes on in the socket notifiers (a host name is still looked up
    // here, which is why this runs on a thread of its own).
    const int rc = m_attempted
            ? mosquitto_reconnect_async(m_client)
            : mosquitto_connect_async(m_client, m_settings.url.host().toUtf8().constData(),
                                      m_settings.url.port(), m_settings.keepAliveSeconds);
    const QString reason = rc == MOSQ_ERR_SUCCESS ? QString() : errorText(rc);
    m_attempted = true;
    if (rc != MOSQ_ERR_SUCCESS) {
        fail(reason);
        return;
    }
    m_connectTimer->start(m_settings.connectTimeoutMs);
    watchSocket();
    afterCall(MOSQ_ERR_SUCCESS);
}

void MqttConnection::watchSocket()
{
    const int socket = mosquitto_socket(m_client);
    if (socket < 0)
        return;
    // New notifiers for every connection: the descriptor number may repeat for a new socket.
    m_socket = socket;
    m_readNotifier = new QSocketNotifier(qintptr(socket), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttConnection::readReady);
    m_writeNotifier = new QSocketNotifier(qintptr(socket), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttConnection::writeReady);
}

void MqttConnection::unwatchSocket()
{
    // Deleted at once, never polled again: the library may already have closed the descriptor.
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_socket = -1;
}

void MqttConnection::readReady()
{
    if (!m_client)
        return;
    // A TLS connection refused or closed during the handshake leaves the socket readable
    // while the library keeps reporting success: a handshake takes a few reads, not hundreds.
    if (m_state == State::Connecting && ++m_readsWhileConnecting > MaxReadsWhileConnecting) {
        fail(QStringLiteral("TLS handshake failed: connection refused or closed"));
        return;
    }
    afterCall(mosquitto_loop_read(m_client, 1));
}

void MqttConnection::writeReady()
{
    if (m_client)
        afterCall(mosquitto_loop_write(m_client, 1));
}

void MqttConnection::housekeeping()
{
    // Keep-alive pings and retries of unacknowledged messages.
    if (m_client && m_state == State::Connected)
        afterCall(mosquitto_loop_misc(m_client));
}

void MqttConnection::afterCall(int rc)
{
    if (m_connack >= 0) {
        const int code = m_connack;
        m_connack = -1;
        if (code != 0) {
            fail(QStringLiteral("the broker refused the connection: %1")
                         .arg(QString::fromUtf8(mosquitto_connack_string(code))));
            return;
        }
        m_state = State::Connected;
        m_connectTimer->stop();
        m_retryMs = 0;
        qCDebug(lcPublish) << "Connected to" << m_settings.url.toDisplayString();
        if (!m_settings.statusTopic.isEmpty()) {
            rc = mosquitto_publish(m_client, nullptr, m_settings.statusTopic.toUtf8().constData(),
                                   int(sizeof(OnlinePayload) - 1), OnlinePayload, StatusQos, true);
        }
        if (rc == MOSQ_ERR_SUCCESS)
            emit connected();
    }
    if (rc != MOSQ_ERR_SUCCESS || m_disconnected
        || (m_state != State::Waiting && mosquitto_socket(m_client) < 0)) {
        fail(rc != MOSQ_ERR_SUCCESS ? errorText(rc)
                                    : QStringLiteral("the broker closed the connection"));
        return;
    }
    updateWriteInterest();
}

void MqttConnection::updateWriteInterest()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_client));
}

void MqttConnection::fail(const QString &reason)
{
    if (m_state == State::Closed || m_state == State::Waiting)
        return;
    const bool wasConnected = m_state == State::Connected;
    m_state = State::Waiting;
    m_connectTimer->stop();
    unwatchSocket();
    qCDebug(lcPublish) << (wasConnected ? "Connection lost:" : "Attempt failed:") << reason;
    if (wasConnected)
        emit connectionLost(reason);
    else
        emit attemptFailed(reason);
    retryLater();
}

void MqttConnection::retryLater()
{
    m_retryMs = m_retryMs == 0 ? m_settings.retryFirstMs
                               : qMin(m_retryMs * 2, qMax(m_settings.retryLastMs, 1));
    m_retryTimer->start(m_retryMs);
}

void MqttConnection::drain()
{
    const QList<MqttOutbox::Message> messages = m_outbox->takeAll();
    int dropped = 0;
    for (const MqttOutbox::Message &message : messages) {
        if (m_state != State::Connected) {
            ++dropped;
            continue;
        }
        publish(message);
        if (m_state != State::Connected)
            ++dropped;
    }
    if (dropped > 0)
        emit messagesDropped(dropped);
}

void MqttConnection::publish(const MqttOutbox::Message &message)
{
    int id = 0;
    const int rc = mosquitto_publish(m_client, &id, message.topic.toUtf8().constData(),
                                     int(message.payload.size()), message.payload.constData(),
                                     message.qos, message.retain);
    if (rc == MOSQ_ERR_SUCCESS) {
        if (message.qos > 0)
            m_unacknowledged.insert(id);
        updateWriteInterest();
        return;
    }
    const QString reason = errorText(rc);
    if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO) {
        fail(reason); // counted as dropped by the caller
        return;
    }
    // The message itself is at fault (too large, not UTF-8): the connection stays.
    emit publishFailed(QStringLiteral("%1: %2").arg(message.topic, reason));
}

void MqttConnection::close()
{
    drain();
    if (m_retryTimer)
        m_retryTimer->stop();
    if (m_connectTimer)
        m_connectTimer->stop();
    if (m_housekeeping)
        m_housekeeping->stop();
    unwatchSocket();
    if (m_client && m_state == State::Connected) {
        QElapsedTimer clock;
        clock.start();
        // Acknowledged messages wait in the library while the broker has others in flight:
        // let them through (a removal of many sensors is such a batch).
        while (!m_unacknowledged.isEmpty() && clock.elapsed() < CloseFlushMs) {
            if (mosquitto_loop(m_client, 50, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        // A clean disconnect drops the will: say "offline" ourselves first.
        if (!m_settings.statusTopic.isEmpty()) {
            mosquitto_publish(m_client, nullptr, m_settings.statusTopic.toUtf8().constData(),
                              int(sizeof(OfflinePayload) - 1), OfflinePayload, StatusQos, true);
        }
        mosquitto_disconnect(m_client);
        // Write out what is queued; the library closes the socket once the disconnect is sent.
        clock.restart();
        while (mosquitto_socket(m_client) >= 0 && clock.elapsed() < CloseFlushMs) {
            if (mosquitto_loop(m_client, 50, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    m_state = State::Closed;
    if (m_client) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    static_cast<MqttConnection *>(self)->m_connack = code;
}

void MqttConnection::onPublish(mosquitto *, void *self, int id)
{
    static_cast<MqttConnection *>(self)->m_unacknowledged.remove(id);
}

void MqttConnection::onLog(mosquitto *, void *self, int level, const char *text)
{
    // Why TLS failed comes only as a log line.
    if (level == MOSQ_LOG_ERR)
        static_cast<MqttConnection *>(self)->m_libraryError = QString::fromUtf8(text);
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int code)
{
    // 0 is the answer to our own disconnect.
    if (code != 0)
        static_cast<MqttConnection *>(self)->m_disconnected = true;
}

QString MqttConnection::errorText(int code) const
{
    if (code == MOSQ_ERR_ERRNO)
        return qt_error_string(errno);
    if (code == MOSQ_ERR_EAI)
        return QStringLiteral("cannot resolve the host name %1").arg(m_settings.url.host());
    QString text = QString::fromUtf8(mosquitto_strerror(code));
    if (text.endsWith(u'.'))
        text.chop(1);
    if (code == MOSQ_ERR_TLS && !m_libraryError.isEmpty()) {
        // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
        text += QLatin1String(": ") + m_libraryError.section(u':', -1).trimmed();
    }
    return text;
}

#endif
