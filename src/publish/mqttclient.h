#pragma once

#include "publish/mqttclientsettings.h"
#include "publish/mqttoutbox.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class MqttConnection;
class QThread;

// A connection to one MQTT broker that keeps itself up: it reconnects with growing waits, says
// "online" (retained) on the status topic at every connect and leaves "offline" as its will, and
// counts the messages it could not send while it was down instead of queueing them.
//
// libmosquitto runs on a thread of its own, driven there by socket notifiers and timers. On the
// acquisition's thread a connect would stall polling: libmosquitto looks host names up blocking,
// and an unreachable name can take seconds per attempt. Everything crosses as queued calls and
// signals; the library is only ever touched from its thread.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    enum class State { Stopped, Connecting, Connected };

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Checks the settings and starts connecting; false with lastError() when they cannot work
    // (no host, a CA file that is missing or unreadable, a CA file without mqtts://).
    bool start(const MqttClientSettings &settings);
    // Says "offline", disconnects cleanly and waits for the thread (about two seconds at most
    // unless a host name lookup is under way).
    void stop();

    // Hands the message to the connection; false when it is dropped because the client is not
    // connected (counted in droppedCount()).
    bool publish(const QString &topic, const QByteArray &payload, int qos, bool retain);

    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }
    QString lastError() const { return m_lastError; }
    const MqttClientSettings &settings() const { return m_settings; }
    // Messages dropped since start() because the broker could not be reached.
    qint64 droppedCount() const { return m_dropped; }
    // Of those, the ones since the last connect (not reported by droppedWhileDisconnected yet).
    qint64 droppedSinceConnect() const { return m_droppedSinceConnect; }

    // Counts messages its user dropped for it (kept back until a first connect that failed).
    void noteDropped(qint64 count) { onDropped(int(count)); }

    // Why these settings cannot work; empty when they can.
    static QString checkSettings(const MqttClientSettings &settings);

signals:
    void connected();
    // A connection that was up has gone; the client is trying again.
    void connectionLost(const QString &reason);
    // An attempt failed. Repeats of the same reason are not signalled until a connect succeeds.
    void attemptFailed(const QString &reason);
    // Connected again after messages were dropped: how many, since the last connect.
    void droppedWhileDisconnected(qint64 count);
    // A message the broker connection could not take (too large, not UTF-8).
    void publishFailed(const QString &reason);

private:
    void onConnected();
    void onConnectionLost(const QString &reason);
    void onAttemptFailed(const QString &reason);
    void onDropped(int count);

    MqttClientSettings m_settings;
    QThread *m_thread = nullptr;
    MqttConnection *m_connection = nullptr;
    std::shared_ptr<MqttOutbox> m_outbox;
    State m_state = State::Stopped;
    QString m_lastError;
    QString m_lastFailure;
    qint64 m_dropped = 0;
    qint64 m_droppedSinceConnect = 0;
};
