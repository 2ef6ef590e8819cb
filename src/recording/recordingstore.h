#pragma once

#include "acquisition/framerecord.h"
#include "recording/recordedevent.h"

#include <QList>
#include <QString>

#include <memory>

struct RecordingMeta;
class QSqlQuery;

// Writes one recording file through Qt's SQLite driver, on the thread that made it: the schema
// and meta rows, then rows in transactions. A connection of its own, named uniquely, so that
// several recordings (and readers) may be open at once.
class RecordingStore
{
public:
    RecordingStore();
    ~RecordingStore();
    RecordingStore(const RecordingStore &) = delete;
    RecordingStore &operator=(const RecordingStore &) = delete;

    // Makes a new recording at path, which must not exist yet, in write-ahead-log mode, and
    // writes its meta rows. False (errorString()) when it cannot; nothing is left behind then.
    bool create(const QString &path, const RecordingMeta &meta);
    // All rows in one transaction: every row is in the file afterwards, or none is.
    bool write(const QList<FrameRecord> &frames, const QList<RecordedEvent> &events);
    // Stores the end time and folds the write-ahead log back into the file, so that a finished
    // recording is a single file. The file stays usable when either step fails.
    bool finish(qint64 endMs);
    void close();

    bool isOpen() const { return !m_connection.isEmpty(); }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

    // Rows bound per INSERT statement: fewer statements, far less time per row.
    static constexpr int rowsPerInsert = 32;

private:
    bool fail(const QString &what, const QString &detail);
    bool insertFrames(const QList<FrameRecord> &frames);
    bool insertEvents(const QList<RecordedEvent> &events);

    QString m_connection;
    QString m_path;
    QString m_error;
    std::unique_ptr<QSqlQuery> m_insertMany;
    std::unique_ptr<QSqlQuery> m_insertOne;
    std::unique_ptr<QSqlQuery> m_insertEvent;
};
