#pragma once

// A real mosquitto broker on a free loopback port, a libmosquitto subscriber that records what
// arrives, and value maps decoded from real frames of the sample protocols.

#include "acquisition/sample.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "responseencoder.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

inline QString protocolFile(const char *name)
{
    return QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/") + QLatin1String(name);
}

// A free TCP port on 127.0.0.1 (free when asked; the broker takes it right after).
inline int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

inline bool acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

class TestBroker
{
public:
    static QString program()
    {
        return QStandardPaths::findExecutable(
                QStringLiteral("mosquitto"),
                {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"),
                 QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")});
    }

    ~TestBroker() { stop(); }

    // Starts on a new free port the first time, on the same port again later. extra: more
    // configuration lines for the listener (paths may use %DIR%, the broker's own directory).
    bool start(const QStringList &extra = {})
    {
        if (m_port == 0)
            m_port = freeLoopbackPort();
        if (m_port == 0 || program().isEmpty())
            return false;
        QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(m_port),
                          QStringLiteral("persistence false")};
        if (!extra.join(u'\n').contains(QLatin1String("allow_anonymous")))
            lines << QStringLiteral("allow_anonymous true");
        // Started as root, mosquitto drops to its own user, who cannot read the files here.
        if (::geteuid() == 0)
            lines.prepend(QStringLiteral("user root"));
        for (QString line : extra)
            lines << line.replace(QLatin1String("%DIR%"), m_dir.path());
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        config.write(lines.join(u'\n').toUtf8() + '\n');
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {QStringLiteral("-c"), config.fileName()});
        if (!m_process.waitForStarted(5000))
            return false;
        return QTest::qWaitFor([this] { return acceptsConnections(m_port); }, 5000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    int port() const { return m_port; }
    QString url(const QString &userInfo = QString()) const
    {
        const QString user = userInfo.isEmpty() ? QString() : userInfo + u'@';
        return QStringLiteral("mqtt://") + user + QStringLiteral("127.0.0.1:")
                + QString::number(m_port);
    }
    QString dir() const { return m_dir.path(); }
    QString log() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

struct ReceivedMessage
{
    QString topic;
    QByteArray payload;
    int qos = 0;
    bool retained = false;

    QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

// Subscribes on its own libmosquitto thread (and again after each reconnect) and keeps every
// message that arrives.
class TestSubscriber
{
public:
    TestSubscriber()
    {
        mosquitto_lib_init();
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_client, [](mosquitto *client, void *self, int rc) {
            auto *me = static_cast<TestSubscriber *>(self);
            if (rc != 0)
                return;
            for (const QByteArray &filter : std::as_const(me->m_filters))
                mosquitto_subscribe(client, nullptr, filter.constData(), me->m_qos);
        });
        mosquitto_subscribe_callback_set(m_client,
                                         [](mosquitto *, void *self, int, int, const int *) {
                                             auto *me = static_cast<TestSubscriber *>(self);
                                             QMutexLocker lock(&me->m_mutex);
                                             ++me->m_subscribed;
                                         });
        mosquitto_message_callback_set(
                m_client, [](mosquitto *, void *self, const mosquitto_message *message) {
                    auto *me = static_cast<TestSubscriber *>(self);
                    QMutexLocker lock(&me->m_mutex);
                    me->m_messages.append({QString::fromUtf8(message->topic),
                                           QByteArray(static_cast<const char *>(message->payload),
                                                      message->payloadlen),
                                           message->qos, message->retain});
                });
        mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    }

    ~TestSubscriber()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
    }

    // Connects, subscribes to the filters and waits until the broker has confirmed them.
    bool subscribe(int port, const QStringList &filters, int qos = 0)
    {
        for (const QString &filter : filters)
            m_filters.append(filter.toUtf8());
        m_qos = qos;
        if (mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS
            || mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS)
            return false;
        return QTest::qWaitFor([this] { return subscriptions() >= m_filters.size(); }, 5000);
    }

    int subscriptions()
    {
        QMutexLocker lock(&m_mutex);
        return m_subscribed;
    }

    QList<ReceivedMessage> messages(const QString &topic = QString())
    {
        QMutexLocker lock(&m_mutex);
        if (topic.isEmpty())
            return m_messages;
        QList<ReceivedMessage> matching;
        for (const ReceivedMessage &message : std::as_const(m_messages)) {
            if (message.topic == topic)
                matching.append(message);
        }
        return matching;
    }

    qsizetype count(const QString &topic) { return messages(topic).size(); }

    // The payload of the last message on a topic, or "(none)".
    QByteArray last(const QString &topic)
    {
        const QList<ReceivedMessage> on = messages(topic);
        return on.isEmpty() ? QByteArray("(none)") : on.last().payload;
    }

private:
    mosquitto *m_client = nullptr;
    QList<QByteArray> m_filters;
    int m_qos = 0;
    QMutex m_mutex;
    int m_subscribed = 0;
    QList<ReceivedMessage> m_messages;
};

// A value map as the acquisition makes it: a frame of the sample 16-cell protocol encoded, parsed
// and processed by the real parts.
class SampleMaker
{
public:
    explicit SampleMaker(const QString &file = protocolFile("cs-16s.json"))
    {
        m_loaded = m_config.loadConfig(file);
        m_frame.setProtocolConfig(&m_config);
        m_processor.setProtocolFrame(&m_frame);
        m_processor.setProtocolConfig(&m_config);
    }

    bool isLoaded() const { return m_loaded; }
    ProtocolConfig &config() { return m_config; }
    QString command() const { return m_config.defaultCommand(); }

    Sample make(int seed, qint64 timeMs)
    {
        const CommandDefinition command = m_config.command(this->command());
        QList<quint64> raws;
        for (int i = 0; i < command.dataSegments.size(); ++i) {
            const QString &name = command.dataSegments.at(i).name;
            quint64 raw = quint64(3200 + seed + i);
            if (name == QLatin1String("WorkState"))
                raw = 0xF001;
            else if (name == QLatin1String("DsgCur"))
                raw = 0;
            raws.append(raw);
        }
        Sample sample;
        sample.timeMs = timeMs;
        sample.receivedAt = QDateTime::fromMSecsSinceEpoch(timeMs);
        sample.command = command.name;
        sample.frame = QString::fromLatin1(ResponseEncoder::encode(m_config, command, raws));
        QString resolved;
        if (!m_processor.resolveCommandForFrame(sample.frame, resolved))
            return sample;
        sample.values = m_processor.processFrameValues(
                resolved, m_frame.parsedValues(),
                sample.receivedAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        return sample;
    }

private:
    ProtocolConfig m_config;
    ProtocolFrame m_frame;
    DataProcessor m_processor;
    bool m_loaded = false;
};
