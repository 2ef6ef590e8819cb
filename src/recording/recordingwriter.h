#pragma once

#include "acquisition/framerecord.h"
#include "recording/recordedevent.h"
#include "recording/recordingmeta.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QThread;

// Keeps every frame and event of a run in a recording file without holding up the thread that
// hands them over: rows are collected here and written by a thread of its own, in one
// transaction per hand-over. A hand-over happens every flushIntervalMs and whenever flushRows
// rows are waiting, so that a killed program loses at most about that much.
//
// A write that fails (a full disk, a medium pulled out) is reported once by writeFailed(); the
// rows are kept and tried again with the next hand-over, up to maxHeldRows, beyond which the
// oldest are given up. writeResumed() tells when the file takes rows again.
class RecordingWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int flushIntervalMs = 500;
    static constexpr int flushRows = 256;
    static constexpr int maxHeldRows = 200000;

    explicit RecordingWriter(QObject *parent = nullptr);
    ~RecordingWriter() override;

    // Makes the file (which must not exist) and starts writing; waits until the file is made.
    bool open(const QString &path, const RecordingMeta &meta);
    QString errorString() const { return m_error; }
    bool isOpen() const { return m_shared != nullptr; }
    QString path() const { return m_path; }

    void writeFrame(const FrameRecord &frame);
    // Any kind of event, also those of other modules ("alarm-raised", ...).
    void writeEvent(qint64 timeMs, const QString &kind, const QString &text);
    // Hands the waiting rows to the writing thread now.
    void flush();
    // Writes what is left, stores the end time and closes the file; waits for that. True when
    // every row handed over reached the file.
    bool close(qint64 endMs);

    // Rows handed over and committed to the file so far (as last reported by the thread).
    qint64 rowsCommitted() const { return m_committed; }
    bool isFailing() const { return m_failing; }

signals:
    void writeFailed(const QString &error);
    void writeResumed(qint64 rowsLost);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared> &shared, RecordingWriter *owner);
    void onWritten(qint64 committed, int state, const QString &error, qint64 lost);

    std::shared_ptr<Shared> m_shared;
    QThread *m_thread = nullptr;
    QTimer m_flushTimer;
    QList<FrameRecord> m_frames;
    QList<RecordedEvent> m_events;
    QString m_path;
    QString m_error;
    qint64 m_committed = 0;
    bool m_failing = false;
};
