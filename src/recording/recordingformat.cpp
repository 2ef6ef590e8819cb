#include "recording/recordingformat.h"

#include <QDateTime>

QStringList RecordingFormat::schema()
{
    return {
            QStringLiteral("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT)"),
            // Rows are appended in the order frames went out and came in: id is that order.
            QStringLiteral("CREATE TABLE frames(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, "
                           "dir TEXT NOT NULL, text TEXT NOT NULL, command TEXT, "
                           "checksum_ok INTEGER)"),
            QStringLiteral("CREATE TABLE events(id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, "
                           "kind TEXT NOT NULL, text TEXT)"),
            QStringLiteral("PRAGMA application_id = %1").arg(applicationId),
            QStringLiteral("PRAGMA user_version = %1").arg(version),
    };
}

QString RecordingFormat::utcText(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}
