#pragma once

#include "acquisition/acquisitionevent.h"
#include "acquisition/framerecord.h"

#include <QObject>
#include <QPointer>
#include <QString>

class AcquisitionEngine;
class RecordingWriter;

// Records what an acquisition engine does: one file per run (from its start to its stop, lost
// ports and reconnects included), every request and received frame, the link events. The window
// and cellscribe-record both use it.
//
// Other modules add events of their own kinds with writeEvent() (alarms: "alarm-raised",
// "alarm-cleared"); they land in the file of the run going on and are dropped between runs.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    explicit RecordingSession(AcquisitionEngine *engine, QObject *parent = nullptr);
    ~RecordingSession() override;

    // Off: no file for the next run, and the file of the run going on is closed at once. On
    // while a run goes on: a new file from now.
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // Each run gets a new file in this directory (made when missing), named by its start time
    // and port.
    void setDirectory(const QString &directory);
    // Instead: this one file, for the next run only (it must not exist).
    void setFile(const QString &path);
    QString directory() const { return m_directory; }

    bool isRecording() const;
    // The file of the run going on, else of the last run; empty before the first.
    QString currentFile() const { return m_file; }
    bool isFailing() const;
    RecordingWriter *writer() const { return m_writer; }

    void writeEvent(qint64 timeMs, const QString &kind, const QString &text);

    // "2026-01-05_14-03-27_ttyUSB0.csrec" in directory, unused so far (a suffix -2, -3, ...
    // when needed).
    static QString newFilePath(const QString &directory, qint64 startedMs, const QString &port);
    // The window's data directory for recordings, also cellscribe-record's default:
    // QStandardPaths::AppDataLocation of organisation TRBMS, application BV-BMS, + /recordings.
    static QString defaultDirectory();

signals:
    void fileStarted(const QString &path);
    void fileFinished(const QString &path, bool complete);
    // The file could not be made, or stopped taking rows: once per run and outage.
    void failed(const QString &path, const QString &error);
    void resumed(const QString &path, qint64 rowsLost);

private:
    void begin(qint64 timeMs);
    void end(qint64 timeMs);
    void onFrame(const FrameRecord &frame);
    void onEvent(const AcquisitionEvent &event);

    QPointer<AcquisitionEngine> m_engine;
    RecordingWriter *m_writer = nullptr;
    bool m_enabled = true;
    QString m_directory;
    QString m_fixedFile;
    QString m_file;
    bool m_openFailed = false;
};
