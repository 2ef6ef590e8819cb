#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class ProtocolConfig;
class ProtocolFrame;
class QTimer;
class SerialInterface;

// Sends the request of the active command at a fixed interval while acquisition runs.
class SerialCommHandler : public QObject
{
    Q_OBJECT

public:
    explicit SerialCommHandler(SerialInterface *serial, QObject *parent = nullptr);
    ~SerialCommHandler() override;

    void setProtocolFrame(ProtocolFrame *frame);
    void setProtocolConfig(ProtocolConfig *config);

    void startPeriodicRequest(const QString &commandName, int intervalMs);
    void stopPeriodicRequest();
    bool isPeriodicRequestActive() const;
    QString activeCommandName() const { return m_activeCommandName; }

    // Builds and writes one request; true only when the frame was written to an open port.
    bool sendCommand(const QString &commandName);

signals:
    // The request as written, just before requestSent().
    void frameSent(const QString &commandName, const QString &frame);
    void requestSent(const QString &commandName);
    void sendSuccess();
    void sendFailed(const QString &error);

public slots:
    void onTimerTimeout();

private:
    QPointer<SerialInterface> m_serial;
    ProtocolFrame *m_protocolFrame = nullptr;
    ProtocolConfig *m_protocolConfig = nullptr;
    QTimer *m_requestTimer = nullptr;
    QString m_activeCommandName;
};
