#pragma once

#include "acquisition/acquisitionevent.h"
#include "acquisition/sample.h"
#include "datalog/csvrowlog.h"
#include "record/recorderoptions.h"

#include <QObject>
#include <QString>
#include <QTimer>

class AcquisitionEngine;
class ProtocolConfig;
class ProtocolManager;
class QTextStream;

// cellscribe-record's run: one acquisition engine with the sinks the command line asks for,
// messages on stderr, and the end of the run (duration, frame count, a signal, a lost port).
class Recorder : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(const RecorderOptions &options, QObject *parent = nullptr);
    ~Recorder() override;

    // Loads the protocol, opens the sinks and the port. The exit code when the run cannot
    // start, else -1: the run goes on in the event loop until finished() is emitted.
    int start();
    // Ends the run: the row in hand is done already; the port and files are closed.
    void finish(int exitCode);

    AcquisitionEngine *engine() const { return m_engine; }

signals:
    void finished(int exitCode);

private:
    bool loadProtocol();
    void onSample(const Sample &sample);
    void onLinkEvent(const AcquisitionEvent &event);
    void printStatus();
    void message(const QString &text);
    QString say(const char *chinese, const char *english) const;
    static QString now();

    RecorderOptions m_options;
    ProtocolManager *m_manager = nullptr;
    ProtocolConfig *m_config = nullptr;
    AcquisitionEngine *m_engine = nullptr;
    CsvRowLog m_csv;
    bool m_csvFailing = false;
    QTimer m_statusTimer;
    QTimer m_durationTimer;
    bool m_finished = false;
};
