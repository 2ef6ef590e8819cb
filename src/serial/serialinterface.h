#pragma once

#include "serial/frameassembler.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTimer;

// The serial port with its receive framing and response supervision.
//
// Every complete frame received is emitted as dataReceived(). Each complete frame settles the
// oldest request written with sendData() that still waits for an answer. A request is reported
// by one timeoutOccurred() when its answer has not begun to arrive (no start mark) within
// responseTimeoutMs of its writing, whatever the polling interval; an answer that has begun may
// take longer, for as long as its bytes keep coming. Received bytes that form no frame are dropped
// once the line has been quiet for responseTimeoutMs (plus quietGraceMs, so that a byte due right
// at the limit is not lost to timer jitter), and a request whose answer was begun that way is
// reported then. So requests minus frames is the number of timeouts reported once the line has
// been quiet for that long. A device that goes away while the port is open
// (ResourceError, or read/write errors that repeat without data in between) closes the port and
// is reported once by errorOccurred() and once by portLost().
class SerialInterface : public QObject
{
    Q_OBJECT

public:
    enum DataType { Hex = 0, Ascii = 1 };
    static constexpr int responseTimeoutMs = 1000;
    static constexpr int quietGraceMs = 100;

    explicit SerialInterface(QObject *parent = nullptr);
    ~SerialInterface() override;

    // The name may be a system port name (COM3, ttyUSB0) or an absolute path (a pseudo-terminal).
    bool openPort(const QString &portName, int baudRate);
    void closePort();
    bool isOpen() const;
    // The name given to the last openPort().
    QString portName() const { return m_portName; }

    void setDataType(int type);
    int dataType() const { return m_dataType; }

    // True only when the frame was written to an open port; otherwise sendError() says why.
    bool sendData(const QString &data);
    bool sendAsciiData(const QString &data);
    QString sendError() const { return m_sendError; }

    // Bytes read from the port since it was opened.
    quint64 receivedBytes() const { return m_receivedBytes; }
    // Bound of the receive buffer, for answers longer than FrameAssembler::maxBufferSize; smaller
    // values give that least bound.
    void setReceiveBufferLimit(qsizetype bytes) { m_assembler.setBufferLimit(bytes); }
    qsizetype receiveBufferLimit() const { return m_assembler.bufferLimit(); }
    // Received bytes not yet cut into a frame.
    qsizetype bufferedBytes() const { return m_assembler.size(); }
    // Requests still waiting for their answer frame.
    qsizetype outstandingRequests() const { return m_deadlines.size(); }

signals:
    void dataSend(bool success);
    void dataReceived(const QString &data);
    void errorOccurred(const QString &error);
    void timeoutOccurred();
    void busBusy();
    void portLost(const QString &portName);

public slots:
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    void handleTimeout();
    void handleBytesWritten(qint64 bytes);

private:
    bool sendHexData(const QString &data);
    qint64 pendingInput() const;
    void superviseResponse();
    void settleOldestRequest();
    void noteAnswerProgress();
    void armResponseTimer();
    void stopSupervision();
    void handlePortLost(const QString &errorText);

    QSerialPort *m_serialPort = nullptr;
    int m_dataType = Ascii;
    QTimer *m_responseTimer = nullptr;
    FrameAssembler m_assembler;
    QByteArray m_hexBuffer;

    // Deadlines (ms on m_clock) of the requests not answered yet, oldest first.
    QList<qint64> m_deadlines;
    // The oldest request's answer has begun to arrive: its deadline no longer applies.
    bool m_answerArriving = false;
    qint64 m_lastByteAt = 0;
    QElapsedTimer m_clock;

    QString m_portName;
    QString m_sendError;
    quint64 m_receivedBytes = 0;
    int m_ioErrorsWithoutData = 0;
    bool m_lost = false;
};
