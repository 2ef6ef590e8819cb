#pragma once

#include "batterymodel.h"
#include "simfaults.h"
#include "simscenario.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

#include <memory>

class ProtocolConfig;
class QSocketNotifier;
class QTimer;

// Plays a BMS on a pseudo-terminal (or a given serial device): recognises the request frame of
// every command of a protocol file and answers it with a response frame carrying the values of
// a simulated battery.
class BmsSimulator : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString protocolPath;
        QString linkPath; // symbolic link made to the line, removed again on exit
        QString devicePath; // an existing serial device instead of a new pseudo-terminal
        int baudRate = 9600;
        quint32 seed = 1;
        SimFaults faults;
        SimScenario scenario;
        bool verbose = false;
    };

    explicit BmsSimulator(QObject *parent = nullptr);
    ~BmsSimulator() override;

    bool start(const Options &options, QString *error);
    // The path a client opens: the pseudo-terminal's slave side or the given device.
    QString linePath() const { return m_linePath; }
    // Closes the line and removes the link; safe to call more than once.
    void shutdown();

signals:
    // The simulator has nothing more to do (the line was hung up or failed).
    void finished(int exitCode);

private:
    bool openPseudoTerminal(QString *error);
    bool openDevice(QString *error);
    void onReadable();
    void handleRequest(const QString &commandName);
    void queue(const QByteArray &bytes, qint64 due, bool endsAnswer);
    void writeDue();
    void hangUp();
    void completeHangUp();
    void log(const QString &line) const;

    Options m_options;
    ProtocolConfig *m_config = nullptr;
    std::unique_ptr<BatteryModel> m_model;
    QRandomGenerator m_rng;

    // Request frame text and the command it asks for, in command order.
    QList<QPair<QByteArray, QString>> m_requests;
    qsizetype m_longestRequest = 0;
    QByteArray m_input;

    struct Piece
    {
        qint64 due;
        QByteArray bytes;
        bool endsAnswer;
    };
    QList<Piece> m_output;
    QTimer *m_outputTimer = nullptr;
    QElapsedTimer m_clock;
    int m_answersQueued = 0;
    int m_answersWritten = 0;
    int m_hangupWaits = 0;
    bool m_hangingUp = false;

    int m_fd = -1;
    int m_slaveFd = -1; // held so the line stays up while no client has it open
    QSocketNotifier *m_readNotifier = nullptr;
    QString m_linePath;
    bool m_linkMade = false;
};
