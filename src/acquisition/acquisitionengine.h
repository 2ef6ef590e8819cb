#pragma once

#include "acquisition/acquisitionevent.h"
#include "acquisition/acquisitionsettings.h"
#include "acquisition/acquisitionstats.h"
#include "acquisition/framerecord.h"
#include "acquisition/portidentity.h"
#include "acquisition/sample.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class FrameDecoder;
class ProtocolConfig;
class SerialCommHandler;
class SerialInterface;

// Acquisition of one pack: polls the active command over the serial link, cuts and decodes what
// comes back and tells its consumers (the window, the table, a CSV log, a recording, alarms, a
// publisher), which subscribe to its signals; it knows none of them and shows nothing itself.
//
// A lost port (the link's own detection, or portRemoved() from a removal notice) stops polling.
// With reconnect on, the same adapter is looked for once a second, under its old or a new name
// (see PortIdentity::find), and polling resumes with the same command and interval as soon as it
// opens again; otherwise the run ends.
class AcquisitionEngine : public QObject
{
    Q_OBJECT

public:
    enum class State { Stopped, Running, Reconnecting };
    Q_ENUM(State)

    enum class StartError { None, NoProtocol, NoCommand, BadSettings, OpenFailed, OpenException };
    Q_ENUM(StartError)

    static constexpr int reconnectIntervalMs = 1000;

    explicit AcquisitionEngine(QObject *parent = nullptr);
    ~AcquisitionEngine() override;

    // Not owned: whoever loads protocols keeps it alive and points the engine at the new one
    // after a switch.
    void setProtocolConfig(ProtocolConfig *config);
    ProtocolConfig *protocolConfig() const;
    // The command polled when the settings name none: the protocol's default command when it has
    // a request, else the first command with one; empty when there is none.
    static QString defaultCommand(const ProtocolConfig *config);

    // Opens the port and starts polling. False when it cannot: startError() and lastError() say
    // why (the port's own error text for a port that does not open).
    bool start(const AcquisitionSettings &settings);
    // Like start(), but a port that does not open now is waited for as after a loss (settings
    // must allow reconnecting). False only for settings that can never run.
    bool startOrWait(const AcquisitionSettings &settings);
    void stop();

    // While running: polls at the new interval from now (the next request goes out at once).
    void setInterval(int intervalMs);
    // May change while running; turned off while reconnecting, the run ends.
    void setReconnect(bool enabled);
    // A removal notice says the port in use has gone.
    void portRemoved();
    // A frame as the link cuts it from the received bytes: decoded and handed to the consumers.
    void processFrame(const QString &frameText);

    State state() const { return m_state; }
    bool isActive() const { return m_state != State::Stopped; }
    const AcquisitionSettings &settings() const { return m_settings; }
    // The port polled now: after a reconnect, the name the adapter came back under.
    QString currentPort() const { return m_currentPort; }
    StartError startError() const { return m_startError; }
    QString lastError() const { return m_lastError; }
    const AcquisitionStats &stats() const { return m_stats; }

    SerialInterface *serialInterface() const { return m_serial; }
    SerialCommHandler *requestHandler() const { return m_requests; }
    FrameDecoder *decoder() const { return m_decoder; }

signals:
    void stateChanged(AcquisitionEngine::State state);
    // Every request written and every frame cut from the stream, matched or not.
    void frameTraffic(const FrameRecord &record);
    // Every frame that answered a command, decoded.
    void sampleDecoded(const Sample &sample);
    void linkEvent(const AcquisitionEvent &event);
    // The port confirmed a request's bytes written (true), or a write failed (false).
    void requestWritten(bool ok);
    void statsChanged();

private:
    bool prepare(const AcquisitionSettings &settings);
    bool startRun(const AcquisitionSettings &settings, bool quiet);
    bool openPort(const QString &name, bool quiet);
    void beginPolling(AcquisitionEvent::Kind kind);
    void onPortLost();
    void tryReconnect();
    void setState(State state);
    void emitEvent(AcquisitionEvent::Kind kind, const QString &detail = QString());
    void onFrameSent(const QString &command, const QString &frame);
    void onSerialError(const QString &text);

    SerialInterface *m_serial = nullptr;
    SerialCommHandler *m_requests = nullptr;
    FrameDecoder *m_decoder = nullptr;
    QPointer<ProtocolConfig> m_config;
    QTimer m_reconnectTimer;

    AcquisitionSettings m_settings;
    PortIdentity m_identity;
    QString m_currentPort;
    State m_state = State::Stopped;
    StartError m_startError = StartError::None;
    QString m_lastError;
    AcquisitionStats m_stats;
    // Open attempts while reconnecting fail quietly, once a second.
    bool m_quietOpen = false;
    // Waiting for a port that has not opened yet in this run: its first open starts the run.
    bool m_neverOpened = false;
};
