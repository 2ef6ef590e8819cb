#pragma once

#include "acquisition/framerecord.h"
#include "recording/recordedevent.h"
#include "recording/recordingmeta.h"

#include <QList>
#include <QMap>
#include <QString>

#include <memory>

class QSqlQuery;

// Opens a recording read-only and checks it before anything is read from it: an SQLite file,
// whole, with a meta table of a format version this program knows. A recording left by a killed
// program (its write-ahead log beside it) opens like any other.
class RecordingReader
{
public:
    enum class Error {
        None,
        NotFound,
        NotSqlite, // empty, or not an SQLite database at all
        Truncated, // shorter than its own header says
        NotRecording, // SQLite, but without a recording's meta table
        NewerFormat, // format_version above RecordingFormat::version
        Unreadable, // SQLite cannot read it (damaged, no permission, ...)
    };

    struct Counts
    {
        qint64 rx = 0;
        qint64 tx = 0;
        qint64 events = 0;
        qint64 firstMs = -1; // earliest row of either table
        qint64 lastMs = -1; // latest row of either table
        QMap<QString, qint64> eventKinds;
    };

    RecordingReader();
    ~RecordingReader();
    RecordingReader(const RecordingReader &) = delete;
    RecordingReader &operator=(const RecordingReader &) = delete;

    bool open(const QString &path);
    void close();
    bool isOpen() const { return !m_connection.isEmpty(); }

    Error error() const { return m_error; }
    // Why the last step failed, worded in a language (Chinese, English, German), the file named.
    QString errorText(int language) const;
    // The same in English.
    QString errorString() const;

    QString path() const { return m_path; }
    const RecordingMeta &meta() const { return m_meta; }

    // Reads both tables through, which also finds damage in any part of them.
    bool counts(Counts *counts);
    // Events in recorded order, all or of one kind; ok false on a read error.
    QList<RecordedEvent> events(const QString &kind, bool *ok);

    // Frames in recorded order: both directions, or "rx" / "tx" only.
    bool beginFrames(const QString &direction = QString());
    // Received frames only, with their times and texts (command and checksum left empty): what
    // a replay needs, read faster.
    bool beginReceived();
    // The next frame; false at the end, or on a read error (error() says which).
    bool nextFrame(FrameRecord *frame);

private:
    bool fail(Error error, const QString &detail = QString());
    bool checkHeader();

    QString m_path;
    QString m_connection;
    RecordingMeta m_meta;
    Error m_error = Error::None;
    QString m_detail;
    std::unique_ptr<QSqlQuery> m_frames;
    bool m_receivedOnly = false;
};
