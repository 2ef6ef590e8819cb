#include "recording/recordingstore.h"

#include "recording/recordingformat.h"
#include "recording/recordinglog.h"
#include "recording/recordingmeta.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInteger<quint64> g_connections;

// Placeholders by name: positional ones cost Qt a formatted name per value bound.
const QStringList &placeholders()
{
    static const QStringList names = [] {
        QStringList list;
        for (int row = 0; row < RecordingStore::rowsPerInsert; ++row) {
            for (const char *column : {"t", "d", "x", "c", "k"})
                list.append(QStringLiteral(":%1%2").arg(QLatin1String(column)).arg(row));
        }
        return list;
    }();
    return names;
}

QString frameInsert(int rows)
{
    // The frame text is bound as UTF-8 bytes and made text by SQLite: bound as UTF-16 it would
    // be converted character by character.
    QString sql =
            QStringLiteral("INSERT INTO frames(time_ms, dir, text, command, checksum_ok) VALUES ");
    const QStringList &names = placeholders();
    for (int i = 0; i < rows; ++i) {
        sql += QStringLiteral("%1(%2, %3, CAST(%4 AS TEXT), %5, %6)")
                       .arg(i ? QStringLiteral(",") : QString(), names.at(5 * i),
                            names.at(5 * i + 1), names.at(5 * i + 2), names.at(5 * i + 3),
                            names.at(5 * i + 4));
    }
    return sql;
}

QString errorText(const QSqlError &error)
{
    const QString driver = error.driverText();
    const QString database = error.databaseText();
    if (database.isEmpty() || driver.contains(database))
        return driver;
    return driver.isEmpty() ? database : database + QStringLiteral(" (") + driver + u')';
}

void removeFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

RecordingStore::RecordingStore() = default;

RecordingStore::~RecordingStore()
{
    close();
}

bool RecordingStore::fail(const QString &what, const QString &detail)
{
    m_error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    // The owner reports it, once; a retry every few hundred ms must not fill the log.
    qCDebug(lcRecording).noquote() << m_path << m_error;
    return false;
}

bool RecordingStore::create(const QString &path, const RecordingMeta &meta)
{
    close();
    m_path = path;
    m_error.clear();
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("the file exists already"), QString());

    m_connection = QStringLiteral("cellscribe-recording-%1").arg(++g_connections);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        if (!db.isValid()) {
            // The driver plugin is missing: libqt6sql6-sqlite on Debian.
            m_error = QStringLiteral("Qt's SQLite driver (QSQLITE) is not available");
        } else {
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
            ok = db.open();
            if (!ok)
                m_error = errorText(db.lastError());
        }
        if (ok) {
            QSqlQuery query(db);
            // WAL: a commit appends to the log, and what was committed survives the program
            // being killed; NORMAL syncs at checkpoints only, which is enough for that.
            ok = query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && query.next()
                    && query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive)
                            == 0;
            if (!ok)
                m_error = QStringLiteral("cannot switch to write-ahead logging: %1")
                                  .arg(errorText(query.lastError()));
            ok = ok && query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
            ok = ok && db.transaction();
            const QStringList statements = RecordingFormat::schema();
            for (const QString &statement : statements) {
                if (!ok)
                    break;
                ok = query.exec(statement);
            }
            if (ok) {
                ok = query.prepare(QStringLiteral("INSERT INTO meta(key, value) VALUES (?, ?)"));
                const auto rows = meta.rows();
                for (const auto &[key, value] : rows) {
                    if (!ok)
                        break;
                    query.bindValue(0, key);
                    query.bindValue(1, value);
                    ok = query.exec();
                }
            }
            ok = ok && db.commit();
            if (!ok && m_error.isEmpty())
                m_error =
                        errorText(query.lastError().isValid() ? query.lastError() : db.lastError());
        }
        if (ok) {
            m_insertMany = std::make_unique<QSqlQuery>(db);
            m_insertOne = std::make_unique<QSqlQuery>(db);
            m_insertEvent = std::make_unique<QSqlQuery>(db);
            ok = m_insertMany->prepare(frameInsert(rowsPerInsert))
                    && m_insertOne->prepare(frameInsert(1))
                    && m_insertEvent->prepare(QStringLiteral(
                            "INSERT INTO events(time_ms, kind, text) VALUES (?, ?, ?)"));
            if (!ok)
                m_error = errorText(db.lastError());
        }
    }
    if (!ok) {
        const QString error = m_error;
        close();
        // A half-made file is no recording.
        removeFiles(path);
        m_path = path;
        return fail(QStringLiteral("cannot create the recording"), error);
    }
    qCDebug(lcRecording) << "Recording to" << path;
    return true;
}

bool RecordingStore::insertFrames(const QList<FrameRecord> &frames)
{
    static const QVariant tx(QStringLiteral("tx"));
    static const QVariant rx(QStringLiteral("rx"));
    const QStringList &names = placeholders();
    const auto bind = [&names](QSqlQuery &query, int base, const FrameRecord &frame) {
        query.bindValue(names.at(base), frame.timeMs);
        query.bindValue(names.at(base + 1),
                        frame.direction == FrameRecord::Direction::Tx ? tx : rx);
        query.bindValue(names.at(base + 2), frame.text.toUtf8());
        query.bindValue(names.at(base + 3),
                        frame.command.isEmpty() ? QVariant() : QVariant(frame.command));
        switch (frame.checksum) {
        case FrameRecord::Checksum::Absent:
            query.bindValue(names.at(base + 4), QVariant());
            break;
        case FrameRecord::Checksum::Ok:
            query.bindValue(names.at(base + 4), 1);
            break;
        case FrameRecord::Checksum::Mismatch:
            query.bindValue(names.at(base + 4), 0);
            break;
        }
    };
    qsizetype i = 0;
    for (; i + rowsPerInsert <= frames.size(); i += rowsPerInsert) {
        for (int k = 0; k < rowsPerInsert; ++k)
            bind(*m_insertMany, k * 5, frames.at(i + k));
        if (!m_insertMany->exec())
            return fail(QStringLiteral("cannot write frames"),
                        errorText(m_insertMany->lastError()));
    }
    for (; i < frames.size(); ++i) {
        bind(*m_insertOne, 0, frames.at(i));
        if (!m_insertOne->exec())
            return fail(QStringLiteral("cannot write frames"), errorText(m_insertOne->lastError()));
    }
    return true;
}

bool RecordingStore::insertEvents(const QList<RecordedEvent> &events)
{
    for (const RecordedEvent &event : events) {
        m_insertEvent->bindValue(0, event.timeMs);
        m_insertEvent->bindValue(1, event.kind);
        m_insertEvent->bindValue(2, event.text.isNull() ? QVariant() : QVariant(event.text));
        if (!m_insertEvent->exec())
            return fail(QStringLiteral("cannot write events"),
                        errorText(m_insertEvent->lastError()));
    }
    return true;
}

bool RecordingStore::write(const QList<FrameRecord> &frames, const QList<RecordedEvent> &events)
{
    if (!isOpen())
        return fail(QStringLiteral("the recording is not open"), QString());
    if (frames.isEmpty() && events.isEmpty())
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(QStringLiteral("cannot begin a transaction"), errorText(db.lastError()));
    if (insertFrames(frames) && insertEvents(events)) {
        if (db.commit())
            return true;
        fail(QStringLiteral("cannot commit"), errorText(db.lastError()));
    }
    // A full disk fails the statement or the commit; either way nothing of these rows stays.
    db.rollback();
    return false;
}

bool RecordingStore::finish(qint64 endMs)
{
    if (!isOpen())
        return false;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery query(db);
        query.prepare(QStringLiteral("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)"));
        for (const auto &[key, value] :
             {qMakePair(QString::fromLatin1(RecordingFormat::endedUtcKey),
                        RecordingFormat::utcText(endMs)),
              qMakePair(QString::fromLatin1(RecordingFormat::endedMsKey),
                        QString::number(endMs))}) {
            query.bindValue(0, key);
            query.bindValue(1, value);
            if (ok && !query.exec())
                ok = fail(QStringLiteral("cannot write the end time"),
                          errorText(query.lastError()));
        }
        // Statements still prepared would keep the log from being folded in.
        m_insertMany.reset();
        m_insertOne.reset();
        m_insertEvent.reset();
        if (!query.exec(QStringLiteral("PRAGMA journal_mode = DELETE")))
            qCInfo(lcRecording) << "Write-ahead log kept:" << errorText(query.lastError());
    }
    close();
    return ok;
}

void RecordingStore::close()
{
    m_insertMany.reset();
    m_insertOne.reset();
    m_insertEvent.reset();
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}
