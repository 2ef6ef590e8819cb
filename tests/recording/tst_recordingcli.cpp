// cellscribe-protocol replay and info on recordings: the summary and the run's description as
// JSON, and bad input refused with a clear message, exit code 1 and nothing written.

#include "recording/recordingstore.h"
#include "recordingfixtures.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kStart = 1767225600000; // 2026-01-01T00:00:00Z

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Result run(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-protocol"), arguments);
    Result result;
    if (!process.waitForFinished(30000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = process.readAllStandardOutput();
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void execSql(const QString &path, const QString &sql)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
        db.setDatabaseName(path);
        if (db.open())
            QSqlQuery(db).exec(sql);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));
}

} // namespace

class TestRecordingCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void infoDescribesTheRun();
    void infoOfARunCutShort();
    void replaySummary();
    void badInput_data();
    void badInput();

private:
    QString recording(const QString &name, int answers, const QByteArray &protocolJson = {});
    QTemporaryDir m_dir;
    ProtocolConfig m_config;
};

void TestRecordingCli::initTestCase()
{
    QVERIFY(m_config.loadConfig(cs16Path()));
    QVERIFY(QFileInfo::exists(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-protocol")));
}

QString TestRecordingCli::recording(const QString &name, int answers, const QByteArray &json)
{
    RecordingMeta meta = metaFor(m_config, kStart);
    if (!json.isNull())
        meta.protocolJson = json;
    const QString path = m_dir.filePath(name);
    RecordingWriter writer;
    if (!writer.open(path, meta))
        return QString();
    writer.writeEvent(kStart, QStringLiteral("start"), meta.port);
    for (int i = 0; i < answers; ++i) {
        writer.writeFrame(request(m_config, kStart + 100 * i));
        writer.writeFrame(received(m_config, answerFrame(m_config, i), kStart + 100 * i + 20));
    }
    writer.writeEvent(kStart + 150, QStringLiteral("timeout"), QString());
    writer.writeEvent(kStart + 100 * answers, QStringLiteral("stop"), meta.port);
    writer.close(kStart + 100 * answers + 5);
    return path;
}

void TestRecordingCli::infoDescribesTheRun()
{
    const QString path = recording(QStringLiteral("info.csrec"), 12);
    const Result result = run({QStringLiteral("info"), path});
    QCOMPARE(result.exitCode, 0);
    const QJsonObject info = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(info.value(QStringLiteral("start")).toString(),
             QStringLiteral("2026-01-01T00:00:00.000Z"));
    QCOMPARE(info.value(QStringLiteral("end")).toString(),
             QStringLiteral("2026-01-01T00:00:01.205Z"));
    QCOMPARE(info.value(QStringLiteral("duration_s")).toDouble(), 1.205);
    QCOMPARE(info.value(QStringLiteral("ended_cleanly")).toBool(), true);
    QCOMPARE(info.value(QStringLiteral("port")).toString(), QStringLiteral("/dev/ttyTEST0"));
    QCOMPARE(info.value(QStringLiteral("interval_ms")).toInt(), 100);
    const QJsonObject protocol = info.value(QStringLiteral("protocol")).toObject();
    QCOMPARE(protocol.value(QStringLiteral("name")).toString(), QStringLiteral("CS-16S"));
    QCOMPARE(protocol.value(QStringLiteral("version")).toString(), m_config.version());
    const QJsonObject frames = info.value(QStringLiteral("frames")).toObject();
    QCOMPARE(frames.value(QStringLiteral("rx")).toInt(), 12);
    QCOMPARE(frames.value(QStringLiteral("tx")).toInt(), 12);
    const QJsonObject events = info.value(QStringLiteral("events")).toObject();
    QCOMPARE(events.value(QStringLiteral("total")).toInt(), 3);
    QCOMPARE(events.value(QStringLiteral("kinds"))
                     .toObject()
                     .value(QStringLiteral("timeout"))
                     .toInt(),
             1);
}

void TestRecordingCli::infoOfARunCutShort()
{
    // Rows in the file, but the run never ended: its end is its last row.
    const QString path = m_dir.filePath(QStringLiteral("cut-short.csrec"));
    {
        RecordingStore store;
        QVERIFY(store.create(path, metaFor(m_config, kStart)));
        QVERIFY(store.write({received(m_config, answerFrame(m_config, 1), kStart + 700)}, {}));
    }
    const Result result = run({QStringLiteral("info"), path});
    QCOMPARE(result.exitCode, 0);
    const QJsonObject info = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(info.value(QStringLiteral("ended_cleanly")).toBool(), false);
    QCOMPARE(info.value(QStringLiteral("duration_s")).toDouble(), 0.7);
}

void TestRecordingCli::replaySummary()
{
    const QString path = recording(QStringLiteral("summary.csrec"), 5);
    const QString csv = m_dir.filePath(QStringLiteral("summary.csv"));
    const Result result = run({QStringLiteral("replay"), path, QStringLiteral("--csv"), csv,
                               QStringLiteral("--language"), QStringLiteral("de")});
    QCOMPARE(result.exitCode, 0);
    const QJsonObject summary = QJsonDocument::fromJson(result.out).object();
    QCOMPARE(summary.value(QStringLiteral("frames")).toInt(), 5);
    QCOMPARE(summary.value(QStringLiteral("matched")).toInt(), 5);
    QCOMPARE(summary.value(QStringLiteral("unmatched")).toInt(), 0);
    QCOMPARE(summary.value(QStringLiteral("gaps")).toInt(), 0);
    QCOMPARE(summary.value(QStringLiteral("protocol_source")).toString(),
             QStringLiteral("recording"));
    const QList<QByteArray> lines = readFile(csv).split('\n');
    QCOMPARE(lines.size(), 1 + 5 + 1);
    QVERIFY(lines.first().startsWith("\xEF\xBB\xBF\"Datum\""));
}

void TestRecordingCli::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString good = recording(QStringLiteral("good.csrec"), 3);
    const QString text = m_dir.filePath(QStringLiteral("notes.csrec"));
    writeFile(text, "these are notes, not frames\n");
    const QString newer = recording(QStringLiteral("newer.csrec"), 3);
    execSql(newer, QStringLiteral("UPDATE meta SET value = '7' WHERE key = 'format_version'"));
    const QByteArray whole = readFile(recording(QStringLiteral("whole.csrec"), 200));
    const QString truncated = m_dir.filePath(QStringLiteral("truncated.csrec"));
    writeFile(truncated, whole.left(whole.size() * 2 / 3));
    const QString broken = recording(QStringLiteral("broken-protocol.csrec"), 3,
                                     QByteArray("{\"protocol\": [1, 2"));
    const QString brokenJson = m_dir.filePath(QStringLiteral("broken.json"));
    writeFile(brokenJson, "{\"protocol\": ");
    const QString csv = m_dir.filePath(QStringLiteral("out.csv"));
    const QStringList toCsv{QStringLiteral("--csv"), csv};
    const QString replay = QStringLiteral("replay");
    const QString info = QStringLiteral("info");

    QTest::newRow("replay: no such file")
            << QStringList{replay, m_dir.filePath(QStringLiteral("none.csrec"))} + toCsv
            << QStringLiteral("no such file");
    QTest::newRow("replay: not SQLite")
            << QStringList{replay, text} + toCsv << QStringLiteral("not an SQLite database");
    QTest::newRow("info: not SQLite")
            << QStringList{info, text} << QStringLiteral("not an SQLite database");
    QTest::newRow("replay: newer format")
            << QStringList{replay, newer} + toCsv << QStringLiteral("recording format 7");
    QTest::newRow("info: newer format")
            << QStringList{info, newer} << QStringLiteral("recording format 7");
    QTest::newRow("replay: truncated")
            << QStringList{replay, truncated} + toCsv << QStringLiteral("is truncated");
    QTest::newRow("info: truncated")
            << QStringList{info, truncated} << QStringLiteral("is truncated");
    QTest::newRow("replay: stored protocol does not load")
            << QStringList{replay, broken} + toCsv
            << QStringLiteral("the protocol stored in %1 does not load").arg(broken);
    QTest::newRow("replay: --protocol does not load")
            << QStringList{replay, good, QStringLiteral("--protocol"), brokenJson} + toCsv
            << QStringLiteral("Invalid JSON format");
    QTest::newRow("replay: CSV onto the recording")
            << QStringList{replay, good, QStringLiteral("--csv"), good}
            << QStringLiteral("would overwrite the recording");
    QTest::newRow("replay: CSV in a missing directory")
            << QStringList{replay, good, QStringLiteral("--csv"),
                           m_dir.filePath(QStringLiteral("no/dir/out.csv"))}
            << QStringLiteral("cannot write");
    QTest::newRow("replay: two files")
            << QStringList{replay, good, good} << QStringLiteral("usage:");
}

void TestRecordingCli::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    // An older table at the target stays as it was.
    const QString csv = m_dir.filePath(QStringLiteral("out.csv"));
    writeFile(csv, "older table\n");
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files, QDir::Name);
    const QByteArray recordingBefore = readFile(arguments.value(1));

    const Result result = run(arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QCOMPARE(readFile(csv), QByteArray("older table\n"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files, QDir::Name), before);
    QCOMPARE(readFile(arguments.value(1)), recordingBefore);
}

QTEST_GUILESS_MAIN(TestRecordingCli)
#include "tst_recordingcli.moc"
