#pragma once

#include "publish/mqttclientsettings.h"
#include "publish/mqttoutbox.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;
struct mosquitto;

// One libmosquitto client, driven on the thread it lives in by socket notifiers and timers (see
// MqttClient for why that is not the acquisition's thread). Used only through MqttClient: every
// call arrives as a queued call, every outcome leaves as a signal.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    MqttConnection(const MqttClientSettings &settings, std::shared_ptr<MqttOutbox> outbox);
    ~MqttConnection() override;

    // Creates the client and makes the first attempt. Called once, on the connection's thread.
    void open();
    // Publishes what the outbox holds when connected; otherwise it is dropped and counted.
    void drain();
    // "offline" on the status topic, a clean disconnect, the socket written out (briefly).
    void close();

signals:
    void connected();
    // reason: why an attempt failed or a connection ended.
    void attemptFailed(const QString &reason);
    void connectionLost(const QString &reason);
    void messagesDropped(int count);
    void publishFailed(const QString &reason);

private:
    static void onConnect(mosquitto *client, void *self, int code);
    static void onDisconnect(mosquitto *client, void *self, int code);
    static void onPublish(mosquitto *client, void *self, int id);
    static void onLog(mosquitto *client, void *self, int level, const char *text);

    void attempt();
    void watchSocket();
    void unwatchSocket();
    void readReady();
    void writeReady();
    void housekeeping();
    // Acts on what a library call returned and on what its callbacks reported.
    void afterCall(int rc);
    void updateWriteInterest();
    void publish(const MqttOutbox::Message &message);
    void fail(const QString &reason);
    void retryLater();
    QString errorText(int code) const;

    enum class State { Closed, Waiting, Connecting, Connected };

    MqttClientSettings m_settings;
    std::shared_ptr<MqttOutbox> m_outbox;
    mosquitto *m_client = nullptr;
    State m_state = State::Closed;
    bool m_attempted = false; // reconnects reuse the first attempt's address
    int m_retryMs = 0;
    int m_socket = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_housekeeping = nullptr;
    QTimer *m_retryTimer = nullptr;
    QTimer *m_connectTimer = nullptr;
    // Outcomes of the callbacks, handled once the library call that ran them has returned.
    int m_connack = -1;
    bool m_disconnected = false;
    int m_readsWhileConnecting = 0;
    QString m_libraryError; // the library's last error line
    QSet<int> m_unacknowledged; // ids of messages sent with QoS 1 and not acknowledged yet
};
