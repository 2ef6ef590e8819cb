// Recording files on a real SQLite file: what the writer leaves for other programs to read, how
// soon rows are in the file, a write that fails and recovers, and what the reader refuses.

#include "i18n/translations.h"
#include "recording/recordingreader.h"
#include "recording/recordingsession.h"
#include "recording/recordingstore.h"
#include "recordingfixtures.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <unistd.h>

namespace {

constexpr qint64 kStart = 1767225600000; // 2026-01-01T00:00:00Z

// A connection of the test's own, as another program would open the file.
class Sql
{
public:
    explicit Sql(const QString &path) : m_name(QStringLiteral("test-%1").arg(quintptr(this)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Sql()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    QVariantList row(const QString &sql) const
    {
        QSqlQuery query(db());
        QVariantList values;
        if (query.exec(sql) && query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                values.append(query.value(i));
        }
        return values;
    }
    bool exec(const QString &sql) const { return QSqlQuery(db()).exec(sql); }

private:
    QString m_name;
};

qint64 rxCount(const QString &path)
{
    RecordingReader reader;
    RecordingReader::Counts counts;
    if (!reader.open(path) || !reader.counts(&counts))
        return -1;
    return counts.rx;
}

} // namespace

class TestRecordingFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fileIsWhatOtherProgramsRead();
    void rowsReachTheFileWithinASecond();
    void aLockedFileIsReportedOnceAndNothingIsLost();
    void openRefuses_data();
    void openRefuses();
    void readerRefuses_data();
    void readerRefuses();
    void newFilesAreNamedByStartAndPort_data();
    void newFilesAreNamedByStartAndPort();

private:
    QString writeRecording(const QString &name, int answers);
    QTemporaryDir m_dir;
    ProtocolConfig m_config;
};

void TestRecordingFile::initTestCase()
{
    QVERIFY(m_config.loadConfig(cs16Path()));
}

QString TestRecordingFile::writeRecording(const QString &name, int answers)
{
    const QString path = m_dir.filePath(name);
    RecordingWriter writer;
    if (!writer.open(path, metaFor(m_config, kStart)))
        return QString();
    writer.writeEvent(kStart, QStringLiteral("start"), QStringLiteral("/dev/ttyTEST0"));
    for (int i = 0; i < answers; ++i) {
        writer.writeFrame(request(m_config, kStart + 100 * i));
        writer.writeFrame(received(m_config, answerFrame(m_config, i), kStart + 100 * i + 20));
    }
    writer.close(kStart + 100 * answers);
    return path;
}

void TestRecordingFile::fileIsWhatOtherProgramsRead()
{
    const QString path = m_dir.filePath(QStringLiteral("layout.csrec"));
    RecordingWriter writer;
    QVERIFY2(writer.open(path, metaFor(m_config, kStart)), qPrintable(writer.errorString()));
    const QString good = answerFrame(m_config, 1);
    const QString bad = answerFrame(m_config, 2, true);
    const QString noise = QStringLiteral(":0123~");
    writer.writeFrame(request(m_config, kStart + 1));
    writer.writeFrame(received(m_config, good, kStart + 2));
    writer.writeFrame(received(m_config, bad, kStart + 3));
    writer.writeFrame(received(m_config, noise, kStart + 4));
    writer.writeEvent(kStart + 5, QStringLiteral("alarm-raised"), QStringLiteral("Vcell3 high"));
    writer.writeEvent(kStart + 6, QStringLiteral("timeout"), QString());
    QVERIFY(writer.close(kStart + 10));
    // Finished: one file, nothing beside it.
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));

    Sql sql(path);
    QCOMPARE(sql.row(QStringLiteral("PRAGMA journal_mode")).value(0).toString(),
             QStringLiteral("delete"));
    QCOMPARE(sql.row(QStringLiteral("PRAGMA application_id")).value(0).toInt(),
             RecordingFormat::applicationId);
    // The names other programs rely on.
    for (const auto &[table, columns] :
         {qMakePair(QStringLiteral("meta"), QStringList{"key", "value"}),
          qMakePair(QStringLiteral("frames"),
                    QStringList{"id", "time_ms", "dir", "text", "command", "checksum_ok"}),
          qMakePair(QStringLiteral("events"), QStringList{"id", "time_ms", "kind", "text"})}) {
        QSqlQuery query(sql.db());
        QVERIFY(query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)));
        QStringList names;
        while (query.next())
            names.append(query.value(1).toString());
        QCOMPARE(names, columns);
    }
    QSqlQuery meta(sql.db());
    QVERIFY(meta.exec(QStringLiteral("SELECT key, value FROM meta")));
    QHash<QString, QString> values;
    while (meta.next())
        values.insert(meta.value(0).toString(), meta.value(1).toString());
    for (const char *key :
         {"format_version", "app_version", "started_utc", "port", "baud", "interval_ms", "command",
          "protocol_name", "protocol_file", "protocol_json", "ended_utc"})
        QVERIFY2(values.contains(QLatin1String(key)), key);
    QCOMPARE(values.value(QStringLiteral("format_version")), QStringLiteral("1"));
    QCOMPARE(values.value(QStringLiteral("started_utc")),
             QStringLiteral("2026-01-01T00:00:00.000Z"));
    QCOMPARE(values.value(QStringLiteral("protocol_json")).toUtf8(), m_config.sourceData());

    QSqlQuery frames(sql.db());
    QVERIFY(frames.exec(QStringLiteral(
            "SELECT time_ms, dir, text, command, checksum_ok FROM frames ORDER BY id")));
    const QList<QVariantList> expected{
            {kStart + 1, "tx", request(m_config, 0).text, "pack_status", 1},
            {kStart + 2, "rx", good, "pack_status", 1},
            {kStart + 3, "rx", bad, "pack_status", 0},
            {kStart + 4, "rx", noise, QVariant(), QVariant()},
    };
    for (const QVariantList &row : expected) {
        QVERIFY(frames.next());
        QCOMPARE(frames.value(0).toLongLong(), row.at(0).toLongLong());
        QCOMPARE(frames.value(1).toString(), row.at(1).toString());
        QCOMPARE(frames.value(2).toString(), row.at(2).toString());
        QCOMPARE(frames.value(3).isNull(), row.at(3).isNull());
        QCOMPARE(frames.value(3).toString(), row.at(3).toString());
        QCOMPARE(frames.value(4).isNull(), row.at(4).isNull());
        QCOMPARE(frames.value(4).toInt(), row.at(4).toInt());
    }
    QVERIFY(!frames.next());
    QCOMPARE(sql.row(QStringLiteral("SELECT kind, text FROM events WHERE id = 1")),
             (QVariantList{QStringLiteral("alarm-raised"), QStringLiteral("Vcell3 high")}));

    // And the reader gives back what was written.
    RecordingReader reader;
    QVERIFY(reader.open(path));
    QCOMPARE(reader.meta().endedMs, kStart + 10);
    QCOMPARE(reader.meta().protocolJson, m_config.sourceData());
    QVERIFY(reader.beginFrames(QStringLiteral("rx")));
    FrameRecord frame;
    QStringList texts;
    while (reader.nextFrame(&frame))
        texts.append(frame.text);
    QCOMPARE(texts, (QStringList{good, bad, noise}));
}

void TestRecordingFile::rowsReachTheFileWithinASecond()
{
    const QString path = m_dir.filePath(QStringLiteral("soon.csrec"));
    RecordingWriter writer;
    QVERIFY(writer.open(path, metaFor(m_config, kStart)));
    // A trickle, as at 5 frames a second: the timer hands them over.
    for (int i = 0; i < 3; ++i)
        writer.writeFrame(received(m_config, answerFrame(m_config, i), kStart + i));
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(rxCount(path), qint64(3), 1000);
    qInfo() << "3 rows in the file after" << clock.elapsed() << "ms";

    // A burst, without the event loop: every full batch is handed over at once.
    for (int i = 0; i < RecordingWriter::flushRows; ++i)
        writer.writeFrame(received(m_config, answerFrame(m_config, i), kStart + i));
    clock.restart();
    while (rxCount(path) < 3 + RecordingWriter::flushRows && clock.elapsed() < 1000)
        QThread::msleep(20);
    QCOMPARE(rxCount(path), qint64(3 + RecordingWriter::flushRows));
    QVERIFY(writer.close(kStart + 1000));
}

void TestRecordingFile::aLockedFileIsReportedOnceAndNothingIsLost()
{
    // Another program holding the file locked makes every write fail, as a full disk would.
    const QString path = m_dir.filePath(QStringLiteral("locked.csrec"));
    RecordingWriter writer;
    QVERIFY(writer.open(path, metaFor(m_config, kStart)));
    QSignalSpy failed(&writer, &RecordingWriter::writeFailed);
    QSignalSpy resumed(&writer, &RecordingWriter::writeResumed);
    int written = 0;
    const auto write = [&](int n) {
        for (int i = 0; i < n; ++i, ++written)
            writer.writeFrame(received(m_config, answerFrame(m_config, written), kStart + written));
        writer.flush();
    };
    {
        Sql blocker(path);
        QVERIFY(blocker.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        write(5);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
        QVERIFY(writer.isFailing());
        write(5); // fails again, told no more
        QTest::qWait(2500);
        QCOMPARE(failed.size(), 1);
        QVERIFY(blocker.exec(QStringLiteral("ROLLBACK")));
    }
    write(1);
    QTRY_COMPARE_WITH_TIMEOUT(resumed.size(), 1, 5000);
    QCOMPARE(resumed.at(0).at(0).toLongLong(), qint64(0));
    QVERIFY(writer.close(kStart + 1000));
    QCOMPARE(rxCount(path), qint64(written));
}

void TestRecordingFile::openRefuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("leftAsItWas");

    const QString existing = m_dir.filePath(QStringLiteral("existing.csrec"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not to be overwritten");
    file.close();
    QTest::newRow("file exists") << existing << true;
    QTest::newRow("directory missing")
            << m_dir.filePath(QStringLiteral("no/such/dir/x.csrec")) << false;
    // Root may write where mode bits forbid; the proc file system takes no new files at all.
    QString unwritable = QStringLiteral("/proc/cellscribe-test.csrec");
    if (::geteuid() != 0) {
        const QString locked = m_dir.filePath(QStringLiteral("locked-dir"));
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        unwritable = locked + QStringLiteral("/x.csrec");
    }
    QTest::newRow("directory not writable") << unwritable << false;
}

void TestRecordingFile::openRefuses()
{
    QFETCH(QString, path);
    QFETCH(bool, leftAsItWas);
    const QByteArray before = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RecordingWriter writer;
    QVERIFY(!writer.open(path, metaFor(m_config, kStart)));
    QVERIFY(!writer.errorString().isEmpty());
    QVERIFY(!writer.isOpen());
    writer.writeFrame(request(m_config, kStart)); // goes nowhere, harms nothing
    QCOMPARE(QFileInfo::exists(path), leftAsItWas);
    if (leftAsItWas) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-wal")));
}

void TestRecordingFile::readerRefuses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    using E = RecordingReader::Error;

    const auto make = [this](const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    };
    QTest::newRow("no such file") << m_dir.filePath(QStringLiteral("none.csrec"))
                                  << int(E::NotFound);
    QTest::newRow("empty file") << make(QStringLiteral("empty.csrec"), {}) << int(E::NotSqlite);
    QTest::newRow("text file") << make(QStringLiteral("text.csrec"),
                                       QByteArray("time,frame\n").repeated(20))
                               << int(E::NotSqlite);
    QTest::newRow("header only") << make(QStringLiteral("short.csrec"),
                                         QByteArray("SQLite format 3\0", 16))
                                 << int(E::NotSqlite);

    const QString plain = m_dir.filePath(QStringLiteral("plain.sqlite"));
    {
        Sql sql(plain);
        sql.exec(QStringLiteral("CREATE TABLE t(x)"));
    }
    QTest::newRow("SQLite, not a recording") << plain << int(E::NotRecording);

    const QString newer = writeRecording(QStringLiteral("newer.csrec"), 3);
    {
        Sql sql(newer);
        sql.exec(QStringLiteral("UPDATE meta SET value = '2' WHERE key = 'format_version'"));
    }
    QTest::newRow("newer format") << newer << int(E::NewerFormat);

    const QString whole = writeRecording(QStringLiteral("whole.csrec"), 300);
    QFile source(whole);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QVERIFY(bytes.size() > 8 * 4096);
    QTest::newRow("truncated to half")
            << make(QStringLiteral("half.csrec"), bytes.left(bytes.size() / 2))
            << int(E::Truncated);
    QTest::newRow("truncated by one byte")
            << make(QStringLiteral("cut.csrec"), bytes.left(bytes.size() - 1)) << int(E::Truncated);
    // Pages in the middle overwritten: a damaged file is told when it is read through.
    QByteArray damaged = bytes;
    for (qsizetype i = 4096; i < damaged.size() - 4096; i += 1)
        damaged[i] = char(0xA5);
    QTest::newRow("damaged") << make(QStringLiteral("damaged.csrec"), damaged)
                             << int(E::Unreadable);
}

void TestRecordingFile::readerRefuses()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    RecordingReader reader;
    RecordingReader::Counts counts;
    const bool read = reader.open(path) && reader.counts(&counts);
    QVERIFY(!read);
    QCOMPARE(int(reader.error()), error);
    QVERIFY(reader.errorString().contains(QDir::toNativeSeparators(path)));
    // Worded in every language; Chinese is the source text.
    QVERIFY(reader.errorText(German) != reader.errorText(English));
    QVERIFY(reader.errorText(Chinese) != reader.errorText(English));
}

void TestRecordingFile::newFilesAreNamedByStartAndPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("name");
    QTest::newRow("Windows port") << QStringLiteral("COM3") << QStringLiteral("COM3");
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB0") << QStringLiteral("ttyUSB0");
    QTest::newRow("odd characters")
            << QStringLiteral("/tmp/my bms:1") << QStringLiteral("my_bms_1");
    QTest::newRow("no name") << QString() << QStringLiteral("port");
}

void TestRecordingFile::newFilesAreNamedByStartAndPort()
{
    QFETCH(QString, port);
    QFETCH(QString, name);
    const QDateTime at(QDate(2026, 1, 5), QTime(14, 3, 27, 500));
    const QString dir = m_dir.filePath(QStringLiteral("names-") + name);
    QDir().mkpath(dir);
    const QString first = RecordingSession::newFilePath(dir, at.toMSecsSinceEpoch(), port);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("2026-01-05_14-03-27_%1.csrec").arg(name));
    // The same second and port again: never the same file.
    QFile(first).open(QIODevice::WriteOnly);
    const QString second = RecordingSession::newFilePath(dir, at.toMSecsSinceEpoch(), port);
    QCOMPARE(QFileInfo(second).fileName(),
             QStringLiteral("2026-01-05_14-03-27_%1-2.csrec").arg(name));
}

QTEST_GUILESS_MAIN(TestRecordingFile)
#include "tst_recordingfile.moc"
