#include "serial/serialcommhandler.h"

#include "protocol/protocolconfig.h" // protocolframe.h needs the complete type
#include "protocol/protocolframe.h"
#include "serial/serialinterface.h"
#include "serial/seriallog.h"

#include <QTimer>

SerialCommHandler::SerialCommHandler(SerialInterface *serial, QObject *parent)
    : QObject(parent), m_serial(serial), m_requestTimer(new QTimer(this))
{
    m_requestTimer->setSingleShot(false);
    connect(m_requestTimer, &QTimer::timeout, this, &SerialCommHandler::onTimerTimeout);
}

SerialCommHandler::~SerialCommHandler() = default;

void SerialCommHandler::setProtocolFrame(ProtocolFrame *frame)
{
    m_protocolFrame = frame;
}

void SerialCommHandler::setProtocolConfig(ProtocolConfig *config)
{
    m_protocolConfig = config;
}

void SerialCommHandler::startPeriodicRequest(const QString &commandName, int intervalMs)
{
    qCDebug(lcSerial) << "SerialCommHandler::startPeriodicRequest called with" << commandName
                      << intervalMs;
    if (commandName.isEmpty() || intervalMs <= 0) {
        qCWarning(lcSerial) << "Invalid parameters for periodic request";
        return;
    }
    m_activeCommandName = commandName;
    qCDebug(lcSerial) << "Checking if requestTimer is active";
    if (m_requestTimer->isActive()) {
        qCDebug(lcSerial) << "Stopping active requestTimer";
        m_requestTimer->stop();
    }
    qCDebug(lcSerial) << "Setting interval and starting timer";
    m_requestTimer->setInterval(intervalMs);
    m_requestTimer->start();
    qCDebug(lcSerial) << "Timer started, calling onTimerTimeout()";
    onTimerTimeout();
    qCDebug(lcSerial) << "onTimerTimeout() completed";
}

void SerialCommHandler::stopPeriodicRequest()
{
    if (m_requestTimer->isActive())
        m_requestTimer->stop();
    m_activeCommandName.clear();
}

bool SerialCommHandler::isPeriodicRequestActive() const
{
    return m_requestTimer->isActive();
}

void SerialCommHandler::onTimerTimeout()
{
    qCDebug(lcSerial) << "SerialCommHandler::onTimerTimeout called";
    if (m_activeCommandName.isEmpty()) {
        qCDebug(lcSerial) << "activeCommandName is empty, returning";
        return;
    }
    qCDebug(lcSerial) << "Calling sendCommand(" << m_activeCommandName << ")";
    sendCommand(m_activeCommandName);
    qCDebug(lcSerial) << "sendCommand completed";
}

bool SerialCommHandler::sendCommand(const QString &commandName)
{
    qCDebug(lcSerial) << "SerialCommHandler::sendCommand called with" << commandName;
    if (!m_serial) {
        qCWarning(lcSerial) << "SerialCommHandler: serial is null!";
        emit sendFailed(QStringLiteral("Serial interface is null"));
        return false;
    }
    if (!m_protocolFrame) {
        qCWarning(lcSerial) << "SerialCommHandler: protocolFrame is null!";
        emit sendFailed(QStringLiteral("Protocol frame not configured"));
        return false;
    }
    if (!m_protocolConfig) {
        qCWarning(lcSerial) << "SerialCommHandler: protocolConfig is null!";
        emit sendFailed(QStringLiteral("Protocol config not configured"));
        return false;
    }

    qCDebug(lcSerial) << "Generating frame for command:" << commandName;
    const QByteArray frame = m_protocolFrame->generateRequestFrame(commandName);
    qCDebug(lcSerial) << "Frame generated, size:" << frame.size();
    if (frame.isEmpty()) {
        qCWarning(lcSerial) << "SerialCommHandler: Failed to generate frame for command:"
                            << commandName;
        emit sendFailed(QStringLiteral("Failed to generate request frame"));
        return false;
    }

    qCDebug(lcSerial) << "Calling serial->sendData()";
    // Only a frame that reached an open port counts as sent.
    const QString text = QString::fromUtf8(frame);
    if (!m_serial->sendData(text)) {
        const QString reason = m_serial->sendError();
        qCWarning(lcSerial) << "SerialCommHandler: request not sent:" << commandName << reason;
        emit sendFailed(reason.isEmpty() ? QStringLiteral("Failed to write request frame")
                                         : reason);
        return false;
    }
    qCDebug(lcSerial) << "serial->sendData() completed, emitting signals";
    emit frameSent(commandName, text);
    emit requestSent(commandName);
    emit sendSuccess();
    qCDebug(lcSerial) << "Signals emitted, returning true";
    return true;
}
