#include "serial/serialinterface.h"

#include "serial/seriallog.h"

#include <QTimer>

#include <exception>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

SerialInterface::SerialInterface(QObject *parent)
    : QObject(parent), m_serialPort(new QSerialPort(this)), m_responseTimer(new QTimer(this))
{
    m_responseTimer->setSingleShot(true);
    m_clock.start();

    connect(m_serialPort, &QSerialPort::readyRead, this, &SerialInterface::handleReadyRead);
    connect(m_serialPort, &QSerialPort::errorOccurred, this, &SerialInterface::handleError);
    connect(m_serialPort, &QSerialPort::bytesWritten, this, &SerialInterface::handleBytesWritten);
    connect(m_responseTimer, &QTimer::timeout, this, &SerialInterface::handleTimeout);
}

SerialInterface::~SerialInterface()
{
    closePort();
}

bool SerialInterface::openPort(const QString &portName, int baudRate)
{
    if (!m_serialPort) {
        qCCritical(lcSerial) << "SerialPort is null!";
        return false;
    }
    m_lost = false;
    m_ioErrorsWithoutData = 0;
    m_portName = portName;

    m_serialPort->setPortName(portName);
    m_serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
    m_serialPort->setDataBits(QSerialPort::Data8);
    m_serialPort->setParity(QSerialPort::NoParity);
    m_serialPort->setStopBits(QSerialPort::OneStop);
    m_serialPort->setFlowControl(QSerialPort::NoFlowControl);

    if (!m_serialPort->open(QIODevice::ReadWrite)) {
        emit errorOccurred(QStringLiteral("Failed to open port ") + portName + QStringLiteral(": ")
                           + m_serialPort->errorString());
        return false;
    }
    m_assembler.clear();
    m_receivedBytes = 0;
    stopSupervision();
    qCDebug(lcSerial) << "Serial port opened, receive buffer cleared";
    return true;
}

void SerialInterface::closePort()
{
    stopSupervision();
    if (m_serialPort && m_serialPort->isOpen())
        m_serialPort->close();
}

bool SerialInterface::isOpen() const
{
    return m_serialPort && m_serialPort->isOpen();
}

void SerialInterface::setDataType(int type)
{
    m_dataType = type;
    qCDebug(lcSerial) << "Data type set to" << (type != Hex ? "Ascii" : "Hex");
}

bool SerialInterface::sendData(const QString &data)
{
    qCDebug(lcSerial) << "SerialInterface::sendData called with data:" << data;
    m_sendError.clear();
    if (!m_serialPort) {
        qCCritical(lcSerial) << "SerialInterface::sendData: serialPort is NULL!";
        m_sendError = QStringLiteral("Serial port is null");
        emit errorOccurred(m_sendError);
        return false;
    }
    qCDebug(lcSerial) << "Checking if serialPort is open";
    if (!m_serialPort->isOpen()) {
        qCWarning(lcSerial) << "SerialInterface::sendData: port is not open";
        m_sendError = QStringLiteral("Serial port is not open");
        emit errorOccurred(m_sendError);
        return false;
    }

    qCDebug(lcSerial) << "serialPort is open, checking for pending data";
    const qint64 pendingInOs = pendingInput();
    if (m_serialPort->bytesAvailable() > 0 || pendingInOs > 0) {
        emit busBusy();
        qCWarning(lcSerial) << "Serial input buffer not empty before send; draining pending data";
        // Let the port fetch what the system holds, so those frames are emitted before the
        // request goes out. Only when there is input: an empty wait would report a timeout error.
        if (pendingInOs > 0)
            m_serialPort->waitForReadyRead(0);
        handleReadyRead();
        if (!m_serialPort->isOpen()) { // the device went away while draining
            m_sendError = QStringLiteral("Serial port is not open");
            return false;
        }
    }

    qCDebug(lcSerial) << "Checking dataType:" << (m_dataType != Hex ? "Ascii" : "Hex");
    bool written = false;
    if (m_dataType != Hex) {
        qCDebug(lcSerial) << "Calling sendAsciiData()";
        written = sendAsciiData(data);
        qCDebug(lcSerial) << "sendAsciiData() completed";
    } else {
        qCDebug(lcSerial) << "Converting to hex and calling sendHexData()";
        written = sendHexData(data);
    }
    // Only a request that really went out waits for an answer.
    if (written)
        superviseResponse();
    return written;
}

bool SerialInterface::sendAsciiData(const QString &data)
{
    qCDebug(lcSerial) << "SerialInterface::sendAsciiData called with:" << data;
    if (!m_serialPort) {
        qCCritical(lcSerial) << "sendAsciiData: serialPort is NULL!";
        m_sendError = QStringLiteral("Serial port is null");
        emit dataSend(false);
        return false;
    }
    qCDebug(lcSerial) << "Verifying serialPort state:";
    qCDebug(lcSerial) << "  - portName:" << m_serialPort->portName();
    qCDebug(lcSerial) << "  - baudRate:" << m_serialPort->baudRate();
    qCDebug(lcSerial) << "  - isOpen:" << (m_serialPort->isOpen() ? "true" : "false");
    qCDebug(lcSerial) << "  - error:" << m_serialPort->error();
    qCDebug(lcSerial) << "  - errorString:" << m_serialPort->errorString();
    if (!m_serialPort->isOpen()) {
        qCCritical(lcSerial) << "serialPort is not open in sendAsciiData!";
        m_sendError = QStringLiteral("Serial port is not open");
        emit dataSend(false);
        return false;
    }

    qCDebug(lcSerial) << "Converting data to UTF-8";
    const QByteArray bytes = data.toUtf8();
    qCDebug(lcSerial) << "Byte data size:" << bytes.size();
    qCDebug(lcSerial) << "Byte data (hex):" << bytes.toHex(' ');
    qCDebug(lcSerial) << "About to call serialPort->write() with" << bytes.size() << "bytes";

    qint64 result = -1;
    try {
        result = m_serialPort->write(bytes);
    } catch (const std::exception &e) {
        qCCritical(lcSerial) << "Exception in write():" << e.what();
        m_sendError = QStringLiteral("Failed to write to serial port: ")
                + QString::fromLocal8Bit(e.what());
        emit dataSend(false);
        return false;
    } catch (...) {
        qCCritical(lcSerial) << "Unknown exception in write()!";
        m_sendError = QStringLiteral("Failed to write to serial port");
        emit dataSend(false);
        return false;
    }
    qCDebug(lcSerial) << "write() returned:" << result;
    if (result != bytes.size()) {
        qCWarning(lcSerial) << "write() failed! Error:" << m_serialPort->errorString();
        m_sendError =
                QStringLiteral("Failed to write to serial port: ") + m_serialPort->errorString();
        emit dataSend(false);
        return false;
    }

    // flush() hands the bytes to the system now; it fails when the system refuses them.
    qCDebug(lcSerial) << "Calling serialPort->flush()";
    bool flushed = false;
    try {
        flushed = m_serialPort->flush();
    } catch (...) {
        qCCritical(lcSerial) << "Exception in flush()!";
    }
    qCDebug(lcSerial) << "flush() completed";
    if (!flushed || !m_serialPort->isOpen()) {
        m_sendError =
                QStringLiteral("Failed to write to serial port: ") + m_serialPort->errorString();
        qCWarning(lcSerial) << m_sendError;
        emit dataSend(false);
        return false;
    }
    return true;
}

bool SerialInterface::sendHexData(const QString &data)
{
    const QByteArray bytes = QByteArray::fromHex(data.toUtf8());
    if (m_serialPort->write(bytes) != bytes.size() || !m_serialPort->flush()
        || !m_serialPort->isOpen()) {
        m_sendError =
                QStringLiteral("Failed to write to serial port: ") + m_serialPort->errorString();
        emit dataSend(false);
        return false;
    }
    return true;
}

qint64 SerialInterface::pendingInput() const
{
#ifdef Q_OS_UNIX
    // Bytes the system has received but the port has not fetched yet.
    int count = 0;
    const auto fd = m_serialPort->handle();
    if (fd >= 0 && ::ioctl(fd, FIONREAD, &count) == 0)
        return count;
#endif
    return 0;
}

void SerialInterface::handleReadyRead()
{
    if (!m_serialPort || !m_serialPort->isOpen())
        return;
    const QByteArray data = m_serialPort->readAll();
    if (data.isEmpty())
        return;
    m_receivedBytes += quint64(data.size());
    m_ioErrorsWithoutData = 0;
    m_lastByteAt = m_clock.elapsed();

    qCDebug(lcSerial) << "=== RAW DATA RECEIVED ===" << data.size() << "bytes";
    qCDebug(lcSerial) << "Raw bytes (hex):" << data.toHex(' ');
    qCDebug(lcSerial) << "Raw bytes (ascii):" << data;

    if (m_dataType == Hex) {
        QByteArray all = m_assembler.pending().toByteArray() + data;
        m_assembler.clear();
        settleOldestRequest();
        armResponseTimer();
        emit dataReceived(QString::fromLatin1(QByteArray::fromHex(all).toHex()));
        return;
    }

    m_assembler.append(data);
    qCDebug(lcSerial) << "Total buffer size:" << m_assembler.size() << "bytes";
    qCDebug(lcSerial) << "Buffer content (hex):" << m_assembler.pending().toByteArray().toHex(' ');
    qCDebug(lcSerial) << "Buffer content (ascii):" << m_assembler.pending();

    int frames = 0;
    QString frame;
    while (m_assembler.takeFrame(frame)) {
        ++frames;
        qCDebug(lcSerial) << "=== COMPLETE FRAME FOUND ===" << frame.size() << "chars";
        qCDebug(lcSerial) << "Processed frame:" << frame;
        settleOldestRequest();
        emit dataReceived(frame);
        qCDebug(lcSerial) << "Remaining buffer:" << m_assembler.size() << "bytes";
    }
    if (frames > 1)
        qCWarning(lcSerial) << "!!! WARNING: Processed" << frames
                            << "frames in one readyRead event !!!";
    m_assembler.trim();
    noteAnswerProgress();
}

void SerialInterface::noteAnswerProgress()
{
    const bool open = m_assembler.hasOpenFrame();
    if (!m_answerArriving && open && !m_deadlines.isEmpty()
        && m_deadlines.constFirst() > m_clock.elapsed()) {
        // The answer began in time; a slow line or device may take longer to finish it.
        m_answerArriving = true;
    } else if (m_answerArriving && !open) {
        // Its start was dropped (bounded buffer): the request waits under its deadline again.
        m_answerArriving = false;
    }
    armResponseTimer();
}

void SerialInterface::handleError(QSerialPort::SerialPortError error)
{
    // TimeoutError only comes from the zero wait while draining input, which has input to read.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // After a loss the port is closed; whatever it still reports is the same loss.
    if (m_lost)
        return;
    const QString text = m_serialPort->errorString();
    if (m_serialPort->isOpen()) {
        if (error == QSerialPort::ResourceError) {
            handlePortLost(text);
            return;
        }
        if (error == QSerialPort::ReadError || error == QSerialPort::WriteError) {
            // A hung-up line reports read errors without end and never delivers a byte again.
            if (++m_ioErrorsWithoutData > 1) {
                handlePortLost(QString()); // the first of them was reported already
                return;
            }
        }
    }
    qCWarning(lcSerial) << "Serial port error:" << error << text;
    emit errorOccurred(text);
}

void SerialInterface::handlePortLost(const QString &errorText)
{
    m_lost = true;
    qCWarning(lcSerial) << "Serial device lost:" << m_portName << m_serialPort->errorString();
    // Safe inside the port's own signal: it releases its notifiers later.
    m_serialPort->close();
    m_assembler.clear();
    stopSupervision();
    if (!errorText.isEmpty())
        emit errorOccurred(errorText);
    emit portLost(m_portName);
}

void SerialInterface::handleTimeout()
{
    const qint64 now = m_clock.elapsed();
    // Bytes nobody has added to for the response time will not become a frame.
    if (!m_assembler.isEmpty() && now - m_lastByteAt >= responseTimeoutMs + quietGraceMs) {
        qCDebug(lcSerial) << "Dropping" << m_assembler.size() << "bytes of an unfinished frame";
        m_assembler.clear();
        m_answerArriving = false;
    }
    const int first = m_answerArriving ? 1 : 0;
    int expired = 0;
    while (m_deadlines.size() > first && m_deadlines.at(first) <= now) {
        m_deadlines.removeAt(first);
        ++expired;
    }
    armResponseTimer();
    if (expired == 0)
        return; // woke early, or only to drop bytes
    qCDebug(lcSerial) << "Response timeout for" << expired << "request(s)";
    for (int i = 0; i < expired; ++i)
        emit timeoutOccurred();
}

void SerialInterface::handleBytesWritten(qint64 bytes)
{
    Q_UNUSED(bytes);
    m_ioErrorsWithoutData = 0;
    emit dataSend(true);
}

void SerialInterface::superviseResponse()
{
    m_deadlines.append(m_clock.elapsed() + responseTimeoutMs);
    if (!m_responseTimer->isActive())
        armResponseTimer();
}

void SerialInterface::settleOldestRequest()
{
    // The device answers in order and a frame carries no request number: it answers the oldest
    // request still waiting. A frame nobody waits for settles nothing.
    m_answerArriving = false;
    if (m_deadlines.isEmpty())
        return;
    m_deadlines.removeFirst();
}

void SerialInterface::armResponseTimer()
{
    // The next moment something may be due: the deadline of the oldest request whose answer has
    // not begun, and the end of the quiet time after the last byte of an unfinished frame.
    qint64 due = -1;
    const int first = m_answerArriving ? 1 : 0;
    if (m_deadlines.size() > first)
        due = m_deadlines.at(first);
    if (!m_assembler.isEmpty()) {
        const qint64 quietEnd = m_lastByteAt + responseTimeoutMs + quietGraceMs;
        due = due < 0 ? quietEnd : qMin(due, quietEnd);
    }
    if (due < 0) {
        m_responseTimer->stop();
        return;
    }
    m_responseTimer->start(int(qMax<qint64>(0, due - m_clock.elapsed())));
}

void SerialInterface::stopSupervision()
{
    m_deadlines.clear();
    m_answerArriving = false;
    if (m_responseTimer)
        m_responseTimer->stop();
}
