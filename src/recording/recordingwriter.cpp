#include "recording/recordingwriter.h"

#include "recording/recordinglog.h"
#include "recording/recordingstore.h"

#include <QDateTime>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

namespace {

enum WriteState { Written, Failed, Resumed };

} // namespace

struct RecordingWriter::Shared
{
    QMutex mutex;
    QWaitCondition wake;
    QString path;
    RecordingMeta meta;
    // Handed over, not yet taken by the thread.
    QList<FrameRecord> frames;
    QList<RecordedEvent> events;
    bool finish = false;
    qint64 endMs = 0;
    // Answers of the thread.
    bool opened = false;
    bool openOk = false;
    QString openError;
    bool finished = false;
    bool finishOk = false;
};

RecordingWriter::RecordingWriter(QObject *parent) : QObject(parent)
{
    m_flushTimer.setInterval(flushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &RecordingWriter::flush);
}

RecordingWriter::~RecordingWriter()
{
    close(QDateTime::currentMSecsSinceEpoch());
}

bool RecordingWriter::open(const QString &path, const RecordingMeta &meta)
{
    close(QDateTime::currentMSecsSinceEpoch());
    m_path = path;
    m_error.clear();
    m_committed = 0;
    m_failing = false;
    auto shared = std::make_shared<Shared>();
    shared->path = path;
    shared->meta = meta;
    // The SQLite connection belongs to the thread that opens it: the writing thread does.
    m_thread = QThread::create([shared, this] { run(shared, this); });
    m_thread->setObjectName(QStringLiteral("recording"));
    m_thread->start();
    {
        QMutexLocker lock(&shared->mutex);
        while (!shared->opened)
            shared->wake.wait(&shared->mutex);
        if (!shared->openOk)
            m_error = shared->openError;
    }
    if (!m_error.isEmpty()) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
        return false;
    }
    m_shared = shared;
    m_flushTimer.start();
    return true;
}

void RecordingWriter::writeFrame(const FrameRecord &frame)
{
    if (!m_shared)
        return;
    m_frames.append(frame);
    if (m_frames.size() + m_events.size() >= flushRows)
        flush();
}

void RecordingWriter::writeEvent(qint64 timeMs, const QString &kind, const QString &text)
{
    if (!m_shared)
        return;
    m_events.append({timeMs, kind, text});
    if (m_frames.size() + m_events.size() >= flushRows)
        flush();
}

void RecordingWriter::flush()
{
    if (!m_shared || (m_frames.isEmpty() && m_events.isEmpty()))
        return;
    {
        QMutexLocker lock(&m_shared->mutex);
        if (m_shared->frames.isEmpty())
            m_shared->frames.swap(m_frames);
        else
            m_shared->frames.append(m_frames);
        if (m_shared->events.isEmpty())
            m_shared->events.swap(m_events);
        else
            m_shared->events.append(m_events);
        m_shared->wake.wakeAll();
    }
    m_frames.clear();
    m_events.clear();
}

bool RecordingWriter::close(qint64 endMs)
{
    if (!m_shared)
        return false;
    m_flushTimer.stop();
    flush();
    bool ok = false;
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->finish = true;
        m_shared->endMs = endMs;
        m_shared->wake.wakeAll();
        while (!m_shared->finished)
            m_shared->wake.wait(&m_shared->mutex);
        ok = m_shared->finishOk;
    }
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_shared.reset();
    qCDebug(lcRecording) << "Recording closed:" << m_path << (ok ? "complete" : "incomplete");
    return ok;
}

void RecordingWriter::onWritten(qint64 committed, int state, const QString &error, qint64 lost)
{
    m_committed = committed;
    if (state == Failed && !m_failing) {
        m_failing = true;
        emit writeFailed(error);
    } else if (state == Resumed && m_failing) {
        m_failing = false;
        emit writeResumed(lost);
    }
}

void RecordingWriter::run(const std::shared_ptr<Shared> &shared, RecordingWriter *owner)
{
    RecordingStore store;
    {
        const bool ok = store.create(shared->path, shared->meta);
        QMutexLocker lock(&shared->mutex);
        shared->opened = true;
        shared->openOk = ok;
        shared->openError = store.errorString();
        shared->wake.wakeAll();
        if (!ok)
            return;
    }
    // Tells the owner's thread; dropped by Qt when the owner is gone by then.
    const auto tell = [owner](qint64 committed, WriteState state, const QString &error,
                              qint64 lost) {
        QMetaObject::invokeMethod(
                owner,
                [owner, committed, state, error, lost] {
                    owner->onWritten(committed, state, error, lost);
                },
                Qt::QueuedConnection);
    };

    QList<FrameRecord> frames;
    QList<RecordedEvent> events;
    qint64 committed = 0;
    qint64 lost = 0;
    bool failing = false;
    for (;;) {
        bool finish = false;
        qint64 endMs = 0;
        {
            QMutexLocker lock(&shared->mutex);
            while (shared->frames.isEmpty() && shared->events.isEmpty() && !shared->finish)
                shared->wake.wait(&shared->mutex);
            if (frames.isEmpty())
                frames.swap(shared->frames);
            else
                frames.append(shared->frames);
            if (events.isEmpty())
                events.swap(shared->events);
            else
                events.append(shared->events);
            shared->frames.clear();
            shared->events.clear();
            finish = shared->finish;
            endMs = shared->endMs;
        }
        if (!frames.isEmpty() || !events.isEmpty()) {
            if (store.write(frames, events)) {
                committed += frames.size() + events.size();
                frames.clear();
                events.clear();
                tell(committed, failing ? Resumed : Written, QString(), lost);
                failing = false;
                lost = 0;
            } else {
                if (!failing) {
                    qCWarning(lcRecording).noquote() << shared->path << store.errorString();
                    tell(committed, Failed, store.errorString(), lost);
                }
                failing = true;
                // Held for the next try, within bounds: the oldest frames go first.
                const qsizetype excess = frames.size() + events.size() - maxHeldRows;
                if (excess > 0) {
                    const qsizetype drop = qMin(excess, frames.size());
                    frames.remove(0, drop);
                    lost += drop;
                }
            }
        }
        if (finish) {
            const bool complete = frames.isEmpty() && events.isEmpty();
            const bool finished = store.finish(endMs);
            QMutexLocker lock(&shared->mutex);
            shared->finished = true;
            shared->finishOk = complete && finished;
            shared->wake.wakeAll();
            return;
        }
    }
}
