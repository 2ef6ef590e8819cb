#include "recording/recordingreader.h"

#include "i18n/translations.h"
#include "recording/recordingformat.h"
#include "recording/recordinglog.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

namespace {

QAtomicInteger<quint64> g_readers;

QString sqlText(const QSqlError &error)
{
    const QString database = error.databaseText();
    return database.isEmpty() ? error.driverText() : database;
}

} // namespace

RecordingReader::RecordingReader() = default;

RecordingReader::~RecordingReader()
{
    close();
}

bool RecordingReader::fail(Error error, const QString &detail)
{
    m_error = error;
    m_detail = detail;
    qCInfo(lcRecording).noquote() << m_path << errorString();
    return false;
}

QString RecordingReader::errorString() const
{
    return errorText(English);
}

QString RecordingReader::errorText(int l) const
{
    const QString file = QDir::toNativeSeparators(m_path);
    const auto say = [l](const char *chinese, const char *english) {
        return translateOr(l, QString::fromUtf8(chinese), QString::fromUtf8(english));
    };
    switch (m_error) {
    case Error::None:
        return QString();
    case Error::NotFound:
        return say("%1：文件不存在", "%1: no such file").arg(file);
    case Error::NotSqlite:
        return say("%1 不是记录文件（不是 SQLite 数据库）",
                   "%1 is not a recording (not an SQLite database)")
                .arg(file);
    case Error::Truncated:
        return say("%1 不完整（被截断）：%2", "%1 is truncated: %2").arg(file, m_detail);
    case Error::NotRecording:
        return say("%1 是 SQLite 数据库，但不是 Cellscribe 记录",
                   "%1 is an SQLite database but not a Cellscribe recording")
                .arg(file);
    case Error::NewerFormat:
        return say("%1 的记录格式为 %2，本程序只能读取到 %3：请更新 Cellscribe",
                   "%1 has recording format %2; this program reads up to %3: update Cellscribe")
                .arg(file, m_detail, QString::number(RecordingFormat::version));
    case Error::Unreadable:
        return say("%1 无法读取（文件可能已损坏）：%2",
                   "%1 cannot be read (the file may be damaged): %2")
                .arg(file, m_detail);
    }
    return QString();
}

bool RecordingReader::checkHeader()
{
    QFile file(m_path);
    if (!file.exists())
        return fail(Error::NotFound);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Error::Unreadable, file.errorString());
    const QByteArray header = file.read(100);
    const qint64 size = file.size();
    file.close();
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return fail(Error::NotSqlite);

    // Bytes 16-17: page size (1 stands for 65536); 28-31: pages in the file, valid when the
    // change counter (24-27) equals the version-valid-for number (92-95).
    const auto u16 = [&header](int at) { return qFromBigEndian<quint16>(header.constData() + at); };
    const auto u32 = [&header](int at) { return qFromBigEndian<quint32>(header.constData() + at); };
    const qint64 pageSize = u16(16) == 1 ? 65536 : u16(16);
    const qint64 pages = u32(28);
    // With a write-ahead log beside it the file may be short until the log is folded in.
    const QFileInfo log(m_path + QStringLiteral("-wal"));
    if (pages > 0 && u32(24) == u32(92) && !(log.exists() && log.size() > 0)
        && size < pages * pageSize) {
        return fail(Error::Truncated,
                    QStringLiteral("%1 bytes of %2").arg(size).arg(pages * pageSize));
    }
    return true;
}

bool RecordingReader::open(const QString &path)
{
    close();
    m_path = path;
    m_meta = RecordingMeta();
    m_error = Error::None;
    m_detail.clear();
    if (!checkHeader())
        return false;

    m_connection = QStringLiteral("cellscribe-reader-%1").arg(++g_readers);
    QString error;
    QList<QPair<QString, QString>> rows;
    bool hasMeta = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        // Reading never changes the file, nor folds in a log left by a killed program.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.isValid()) {
            error = QStringLiteral("Qt's SQLite driver (QSQLITE) is not available");
        } else if (!db.open()) {
            error = sqlText(db.lastError());
        } else {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.exec(QStringLiteral(
                        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                        "('meta', 'frames', 'events')"))
                || !query.next()) {
                error = sqlText(query.lastError());
            } else {
                hasMeta = query.value(0).toInt() == 3;
                if (hasMeta && query.exec(QStringLiteral("SELECT key, value FROM meta"))) {
                    while (query.next())
                        rows.append({query.value(0).toString(), query.value(1).toString()});
                }
                if (query.lastError().isValid())
                    error = sqlText(query.lastError());
            }
        }
    }
    if (!error.isEmpty()) {
        close();
        // Some files only show what they are when SQLite reads them.
        if (error.contains(QLatin1String("not a database")))
            return fail(Error::NotSqlite);
        return fail(Error::Unreadable, error);
    }
    m_meta = RecordingMeta::fromRows(rows);
    if (!hasMeta || m_meta.formatVersion <= 0) {
        close();
        return fail(Error::NotRecording);
    }
    if (m_meta.formatVersion > RecordingFormat::version) {
        close();
        return fail(Error::NewerFormat, QString::number(m_meta.formatVersion));
    }
    return true;
}

void RecordingReader::close()
{
    m_frames.reset();
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool RecordingReader::counts(Counts *counts)
{
    *counts = Counts();
    if (!isOpen())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    const auto span = [counts](const QVariant &first, const QVariant &last) {
        if (!first.isNull() && (counts->firstMs < 0 || first.toLongLong() < counts->firstMs))
            counts->firstMs = first.toLongLong();
        if (!last.isNull() && last.toLongLong() > counts->lastMs)
            counts->lastMs = last.toLongLong();
    };
    if (!query.exec(QStringLiteral(
                "SELECT dir, count(*), min(time_ms), max(time_ms) FROM frames GROUP BY dir")))
        return fail(Error::Unreadable, sqlText(query.lastError()));
    while (query.next()) {
        const QString dir = query.value(0).toString();
        if (dir == QLatin1String("rx"))
            counts->rx += query.value(1).toLongLong();
        else if (dir == QLatin1String("tx"))
            counts->tx += query.value(1).toLongLong();
        span(query.value(2), query.value(3));
    }
    if (query.lastError().isValid())
        return fail(Error::Unreadable, sqlText(query.lastError()));
    if (!query.exec(QStringLiteral(
                "SELECT kind, count(*), min(time_ms), max(time_ms) FROM events GROUP BY kind")))
        return fail(Error::Unreadable, sqlText(query.lastError()));
    while (query.next()) {
        const qint64 n = query.value(1).toLongLong();
        counts->eventKinds.insert(query.value(0).toString(), n);
        counts->events += n;
        span(query.value(2), query.value(3));
    }
    if (query.lastError().isValid())
        return fail(Error::Unreadable, sqlText(query.lastError()));
    return true;
}

QList<RecordedEvent> RecordingReader::events(const QString &kind, bool *ok)
{
    QList<RecordedEvent> list;
    *ok = false;
    if (!isOpen())
        return list;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    if (kind.isEmpty()) {
        query.prepare(QStringLiteral("SELECT time_ms, kind, text FROM events ORDER BY id"));
    } else {
        query.prepare(QStringLiteral(
                "SELECT time_ms, kind, text FROM events WHERE kind = ? ORDER BY id"));
        query.bindValue(0, kind);
    }
    if (!query.exec()) {
        fail(Error::Unreadable, sqlText(query.lastError()));
        return list;
    }
    while (query.next())
        list.append({query.value(0).toLongLong(), query.value(1).toString(),
                     query.value(2).toString()});
    if (query.lastError().isValid()) {
        fail(Error::Unreadable, sqlText(query.lastError()));
        return list;
    }
    *ok = true;
    return list;
}

bool RecordingReader::beginReceived()
{
    m_frames.reset();
    if (!isOpen())
        return false;
    m_receivedOnly = true;
    m_frames = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connection, false));
    m_frames->setForwardOnly(true);
    if (!m_frames->exec(
                QStringLiteral("SELECT time_ms, text FROM frames WHERE dir = 'rx' ORDER BY id"))) {
        const QString error = sqlText(m_frames->lastError());
        m_frames.reset();
        return fail(Error::Unreadable, error);
    }
    return true;
}

bool RecordingReader::beginFrames(const QString &direction)
{
    m_frames.reset();
    if (!isOpen())
        return false;
    m_receivedOnly = false;
    m_frames = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connection, false));
    m_frames->setForwardOnly(true);
    if (direction.isEmpty()) {
        m_frames->prepare(QStringLiteral(
                "SELECT time_ms, dir, text, command, checksum_ok FROM frames ORDER BY id"));
    } else {
        m_frames->prepare(QStringLiteral("SELECT time_ms, dir, text, command, checksum_ok FROM "
                                         "frames WHERE dir = ? ORDER BY id"));
        m_frames->bindValue(0, direction);
    }
    if (!m_frames->exec()) {
        const QString error = sqlText(m_frames->lastError());
        m_frames.reset();
        return fail(Error::Unreadable, error);
    }
    return true;
}

bool RecordingReader::nextFrame(FrameRecord *frame)
{
    if (!m_frames)
        return false;
    if (!m_frames->next()) {
        const QSqlError error = m_frames->lastError();
        m_frames.reset();
        if (error.isValid())
            return fail(Error::Unreadable, sqlText(error));
        return false;
    }
    frame->timeMs = m_frames->value(0).toLongLong();
    if (m_receivedOnly) {
        frame->direction = FrameRecord::Direction::Rx;
        frame->text = m_frames->value(1).toString();
        frame->command.clear();
        frame->checksum = FrameRecord::Checksum::Absent;
        return true;
    }
    frame->direction = m_frames->value(1).toString() == QLatin1String("tx")
            ? FrameRecord::Direction::Tx
            : FrameRecord::Direction::Rx;
    frame->text = m_frames->value(2).toString();
    frame->command = m_frames->value(3).toString();
    const QVariant checksum = m_frames->value(4);
    frame->checksum = checksum.isNull() ? FrameRecord::Checksum::Absent
            : checksum.toInt() != 0     ? FrameRecord::Checksum::Ok
                                        : FrameRecord::Checksum::Mismatch;
    return true;
}
