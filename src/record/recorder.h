#pragma once

#include "acquisition/acquisitionevent.h"
#include "acquisition/sample.h"
#include "datalog/csvrowlog.h"
#include "record/recorderoptions.h"

#include <QObject>
#include <QString>
#include <QTimer>

class AcquisitionEngine;
class AlarmMonitor;
struct AlarmEvent;
class MqttPublisher;
class ProtocolConfig;
class ProtocolManager;
class QTextStream;
class RecordingSession;

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
    // Null with --no-record.
    RecordingSession *recording() const { return m_recording; }
    AlarmMonitor *alarms() const { return m_alarms; }

signals:
    void finished(int exitCode);

private:
    bool loadProtocol();
    bool setUpRecording();
    // Starts the publisher the --mqtt options ask for; false (told why) when it cannot.
    bool startPublishing(const QString &command);
    void printPublishingStatus();
    void onSample(const Sample &sample);
    void onLinkEvent(const AcquisitionEvent &event);
    void loadAlarms();
    void onAlarm(const AlarmEvent &event);
    void printStatus(bool withPublishing = true);
    void message(const QString &text);
    QString say(const char *chinese, const char *english) const;
    static QString now();

    RecorderOptions m_options;
    ProtocolManager *m_manager = nullptr;
    ProtocolConfig *m_config = nullptr;
    AcquisitionEngine *m_engine = nullptr;
    AlarmMonitor *m_alarms = nullptr;
    CsvRowLog m_csv;
    RecordingSession *m_recording = nullptr;
    bool m_csvFailing = false;
    QTimer m_statusTimer;
    QTimer m_durationTimer;
    bool m_finished = false;
    MqttPublisher *m_publisher = nullptr;
    QTimer m_removalTimer;
};
