// cellscribe-record against the BMS simulator: every answer becomes a CSV row, the CSV is the
// window's export of the same frames, a lost line is reopened, bad input is refused.

#include "../testsupport/boxcloser.h"
#include "app/mainwindow.h"
#include "childprocess.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "simprocess.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

const QString kProtocolFile = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

QList<QByteArray> csvLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList simArgs(const QString &link, const QString &faults = QString())
{
    QStringList args{QStringLiteral("--protocol"), kProtocolFile, QStringLiteral("--link"), link};
    if (!faults.isEmpty())
        args << QStringLiteral("--fault") << faults;
    return args;
}

// The time a row of the recorder's CSV was stamped with, read back from its date and time cells.
QDateTime rowTime(const QByteArray &line)
{
    const QList<QByteArray> cells = line.split(',');
    const auto text = [&cells](int i) {
        return QString::fromUtf8(cells.value(i)).remove(QLatin1Char('"'));
    };
    const QDate date = QDate::fromString(text(0), QStringLiteral("yyyy-MM-dd"));
    // "HH:mm:ss.cc", hundredths
    const QStringList parts = text(1).split(QRegularExpression(QStringLiteral("[:.]")));
    const QTime time(parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2).toInt(),
                     parts.value(3).toInt() * 10);
    return QDateTime(date, time);
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyAnswerIsARowAsTheWindowExportsIt();
    void reconnectsWhenTheLineReturns();
    void lossWithoutReconnectEndsWithCode3();
    void appendsToAMatchingFile();
    void sigtermEndsCleanly();
    void badInput_data();
    void badInput();

private:
    QTemporaryDir m_dir;
};

void TestRecorder::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QVERIFY(QFileInfo::exists(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-record")));
}

void TestRecorder::everyAnswerIsARowAsTheWindowExportsIt()
{
    // CELLSCRIBE_RECORDER_FRAMES=10000 makes this the long run (about 17 minutes).
    const int frames = qEnvironmentVariableIsSet("CELLSCRIBE_RECORDER_FRAMES")
            ? qEnvironmentVariableIntValue("CELLSCRIBE_RECORDER_FRAMES")
            : 40;
    const QString link = m_dir.filePath(QStringLiteral("bms-rows"));
    const QString csv = m_dir.filePath(QStringLiteral("rows.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link, QStringLiteral("garbage=0.2,split,bad-checksum=0.1"))));
    QTRY_VERIFY(QFileInfo::exists(link));

    RecorderProcess recorder;
    recorder.start({QStringLiteral("--port"), link, QStringLiteral("--protocol"),
                    QStringLiteral("CS-16S"), QStringLiteral("--interval"), QStringLiteral("100"),
                    QStringLiteral("--frames"), QString::number(frames), QStringLiteral("--csv"),
                    csv, QStringLiteral("--language"), QStringLiteral("en")});
    QCOMPARE(recorder.waitForExit(frames * 200 + 20000), 0);
    QTRY_COMPARE(sim.answers().size(), frames);
    const QList<QByteArray> lines = csvLines(csv);
    QCOMPARE(lines.size(), frames + 1);
    QVERIFY(recorder.count(QStringLiteral("frames %1,").arg(frames)) >= 1);

    // The window, fed the same frames and stamping rows with the same times, exports the same.
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    BoxCloser boxes;
    MainWindow window(options);
    window.applyLanguage(English);
    QList<QDateTime> times;
    for (int i = 1; i < lines.size(); ++i)
        times.append(rowTime(lines.at(i)));
    int next = 0;
    window.tableModel()->setClock([&times, &next] { return times.value(next); });
    for (const SimAnswer &answer : sim.answers()) {
        window.handleDataReceivedWithConfig(answer.frame);
        ++next;
    }
    QCOMPARE(window.tableModel()->rowCount(), frames);
    const QString exported = m_dir.filePath(QStringLiteral("window.csv"));
    window.viewExportToCSV(window.form()->tableView, exported);
    QFile a(csv), b(exported);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QList<QByteArray> mine = a.readAll().split('\n'), theirs = b.readAll().split('\n');
    QCOMPARE(mine.size(), theirs.size());
    for (int i = 0; i < mine.size(); ++i)
        QCOMPARE(mine.at(i), theirs.at(i));
}

void TestRecorder::reconnectsWhenTheLineReturns()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-again"));
    const QString csv = m_dir.filePath(QStringLiteral("again.csv"));
    auto first = std::make_unique<SimProcess>();
    QVERIFY(first->start(simArgs(link, QStringLiteral("hangup-after=12"))));
    QTRY_VERIFY(QFileInfo::exists(link));

    RecorderProcess recorder;
    recorder.start({QStringLiteral("--port"), link, QStringLiteral("--protocol"), kProtocolFile,
                    QStringLiteral("--interval"), QStringLiteral("100 ms"),
                    QStringLiteral("--frames"), QStringLiteral("24"), QStringLiteral("--csv"), csv,
                    QStringLiteral("--language"), QStringLiteral("en")});
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count(QStringLiteral("port lost")) == 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(first->process().state(), QProcess::NotRunning, 5000);
    const int firstAnswers = int(first->answers().size());
    QCOMPARE(firstAnswers, 12);
    first.reset();
    QTest::qWait(1500); // the recorder keeps looking meanwhile

    SimProcess second;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(second.start(simArgs(link)));
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count(QStringLiteral("reconnected")) == 1, 5000);
    qInfo() << "reconnected" << clock.elapsed() << "ms after the line returned";
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(recorder.waitForExit(20000), 0);
    QTRY_COMPARE(second.answers().size(), 12);
    QCOMPARE(csvLines(csv).size(), 1 + 24);
    QCOMPARE(recorder.count(QStringLiteral("port lost")), 1);
    QCOMPARE(recorder.count(QStringLiteral("reconnected:")), 1);
    QVERIFY(recorder.count(QStringLiteral("reconnects 1,")) >= 1);
}

void TestRecorder::lossWithoutReconnectEndsWithCode3()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-once"));
    const QString csv = m_dir.filePath(QStringLiteral("once.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link, QStringLiteral("hangup-after=5"))));
    QTRY_VERIFY(QFileInfo::exists(link));
    RecorderProcess recorder;
    recorder.start({QStringLiteral("--port"), link, QStringLiteral("--protocol"),
                    QStringLiteral("CS-16S"), QStringLiteral("--interval"), QStringLiteral("100"),
                    QStringLiteral("--no-reconnect"), QStringLiteral("--csv"), csv,
                    QStringLiteral("--quiet")});
    QCOMPARE(recorder.waitForExit(15000), 3);
    QCOMPARE(csvLines(csv).size(), 1 + 5);
    QCOMPARE(recorder.count(QStringLiteral("端口丢失")), 1);
    QCOMPARE(recorder.count(QStringLiteral("帧 ")), 0); // --quiet: no status lines
}

void TestRecorder::appendsToAMatchingFile()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-append"));
    const QString csv = m_dir.filePath(QStringLiteral("append.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    const QStringList args{QStringLiteral("--port"),     link,
                           QStringLiteral("--protocol"), QStringLiteral("CS-16S"),
                           QStringLiteral("--interval"), QStringLiteral("100"),
                           QStringLiteral("--frames"),   QStringLiteral("3"),
                           QStringLiteral("--csv"),      csv,
                           QStringLiteral("--language"), QStringLiteral("de")};
    for (int run = 0; run < 2; ++run) {
        RecorderProcess recorder;
        recorder.start(args);
        QCOMPARE(recorder.waitForExit(10000), 0);
    }
    const QList<QByteArray> lines = csvLines(csv);
    QCOMPARE(lines.size(), 1 + 6);
    QVERIFY(lines.first().startsWith("\xEF\xBB\xBF\"Datum\""));
    QCOMPARE(std::count_if(lines.cbegin(), lines.cend(),
                           [](const QByteArray &l) { return l.contains("\"Datum\""); }),
             1);
}

void TestRecorder::sigtermEndsCleanly()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-term"));
    const QString csv = m_dir.filePath(QStringLiteral("term.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link, QStringLiteral("split"))));
    QTRY_VERIFY(QFileInfo::exists(link));
    RecorderProcess recorder;
    recorder.start({QStringLiteral("--port"), link, QStringLiteral("--protocol"),
                    QStringLiteral("CS-16S"), QStringLiteral("--interval"), QStringLiteral("100"),
                    QStringLiteral("--csv"), csv, QStringLiteral("--language"),
                    QStringLiteral("en")});
    QTRY_VERIFY_WITH_TIMEOUT(csvLines(csv).size() >= 6, 10000);
    ::kill(pid_t(recorder.process().processId()), SIGTERM);
    QCOMPARE(recorder.waitForExit(5000), 0);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().endsWith('\n')); // no half row
    const int rows = int(csvLines(csv).size()) - 1;
    QVERIFY(recorder.count(QStringLiteral("rows written %1,").arg(rows)) == 1);
    // The port was let go: the simulator's line has no reader left, nothing is asked any more.
    const int requests = sim.requests();
    QTest::qWait(400);
    QCOMPARE(sim.requests(), requests);
}

void TestRecorder::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString missing = m_dir.filePath(QStringLiteral("no-such-port"));
    const QStringList base{QStringLiteral("--port"), missing, QStringLiteral("--no-reconnect"),
                           QStringLiteral("--language"), QStringLiteral("en")};
    const QStringList protocol{QStringLiteral("--protocol"), QStringLiteral("CS-16S")};

    QFile broken(m_dir.filePath(QStringLiteral("broken.json")));
    if (broken.open(QIODevice::WriteOnly))
        broken.write("{\"protocol\": {\"name\": ");
    broken.close();
    QFile other(m_dir.filePath(QStringLiteral("other.csv")));
    if (other.open(QIODevice::WriteOnly))
        other.write("\xEF\xBB\xBF\"a\",\"b\"\n\"1\",\"2\"\n");
    other.close();
    // Root may write anywhere a mode bit forbids; the proc file system refuses new files to all.
    QString unwritable = QStringLiteral("/proc/cellscribe-test.csv");
    if (::geteuid() != 0) {
        const QString locked = m_dir.filePath(QStringLiteral("locked"));
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        unwritable = locked + QStringLiteral("/x.csv");
    }

    QTest::newRow("unknown protocol name")
            << base + QStringList{QStringLiteral("--protocol"), QStringLiteral("NO-SUCH")} << 1
            << QStringLiteral("unknown protocol NO-SUCH");
    QTest::newRow("protocol file that does not load")
            << base + QStringList{QStringLiteral("--protocol"), broken.fileName()} << 1
            << QStringLiteral("does not load");
    QTest::newRow("port that does not exist")
            << base + protocol << 2 << QStringLiteral("port %1 does not open").arg(missing);
    QTest::newRow("baud rate") << base + protocol
                    + QStringList{QStringLiteral("--baud"), QStringLiteral("4800")}
                               << 1 << QStringLiteral("baud rate must be");
    QTest::newRow("interval too short")
            << base + protocol + QStringList{QStringLiteral("--interval"), QStringLiteral("50")}
            << 1 << QStringLiteral("invalid interval 50");
    QTest::newRow("interval text")
            << base + protocol + QStringList{QStringLiteral("--interval"), QStringLiteral("3 h")}
            << 1 << QStringLiteral("invalid interval 3 h");
    QTest::newRow("interval over an hour")
            << base + protocol + QStringList{QStringLiteral("--interval"), QStringLiteral("61 min")}
            << 1 << QStringLiteral("invalid interval");
    QTest::newRow("alarm rules file that does not exist")
            << base + protocol
                    + QStringList{QStringLiteral("--alarms"),
                                  m_dir.filePath(QStringLiteral("nope"))}
            << 1
            << QStringLiteral("alarm rules file %1 does not exist")
                       .arg(m_dir.filePath(QStringLiteral("nope")));
    QTest::newRow("alarm rules and none")
            << base + protocol
                    + QStringList{QStringLiteral("--alarms"), broken.fileName(),
                                  QStringLiteral("--no-alarms")}
            << 1 << QStringLiteral("--alarms and --no-alarms exclude each other");
    QTest::newRow("CSV in a missing directory") << base + protocol
                    + QStringList{QStringLiteral("--csv"),
                                  m_dir.filePath(QStringLiteral("no/dir/x.csv"))}
                                                << 1 << QStringLiteral("cannot be used");
    QTest::newRow("CSV without write permission")
            << base + protocol + QStringList{QStringLiteral("--csv"), unwritable} << 1
            << QStringLiteral("cannot be used");
    QTest::newRow("existing CSV with another header")
            << base + protocol + QStringList{QStringLiteral("--csv"), other.fileName()} << 1
            << QStringLiteral("another table");
    QTest::newRow("no port") << QStringList{QStringLiteral("--protocol"), QStringLiteral("CS-16S"),
                                            QStringLiteral("--language"), QStringLiteral("en")}
                             << 1 << QStringLiteral("--port is missing");
    QTest::newRow("stray argument") << base + protocol + QStringList{QStringLiteral("extra")} << 1
                                    << QStringLiteral("unknown argument: extra");
    QTest::newRow("unknown option") << base + protocol + QStringList{QStringLiteral("--colour")}
                                    << 1 << QStringLiteral("invalid command line");
    QTest::newRow("frames not a number")
            << base + protocol + QStringList{QStringLiteral("--frames"), QStringLiteral("ten")} << 1
            << QStringLiteral("--frames takes");
    QTest::newRow("German message")
            << QStringList{QStringLiteral("--port"),     missing,
                           QStringLiteral("--protocol"), QStringLiteral("NO-SUCH"),
                           QStringLiteral("--language"), QStringLiteral("de")}
            << 1 << QStringLiteral("unbekanntes Protokoll NO-SUCH");
}

void TestRecorder::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString other = m_dir.filePath(QStringLiteral("other.csv"));
    const QByteArray before = [&other] {
        QFile f(other);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RecorderProcess recorder;
    recorder.start(arguments);
    QCOMPARE(recorder.waitForExit(10000), exitCode);
    QVERIFY2(recorder.count(message) == 1, qPrintable(recorder.lines().join(u'\n')));
    QFile f(other);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before); // a refused file is left as it was
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
