// The main window against a misbehaving BMS simulator: for every fault, what went in and what came
// out are counted and compared.

#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolmanager.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <sys/resource.h>

namespace {

const QString kSampleProtocol = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");
const QString kTimeoutText = QStringLiteral("通讯超时");

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int countLines(const QStringList &log, const QString &prefix, const QString &inside = QString())
{
    int n = 0;
    for (const QString &line : log)
        n += line.startsWith(prefix) && (inside.isEmpty() || line.contains(inside)) ? 1 : 0;
    return n;
}

// Largest gap between the ticks of a 10 ms timer: how long the event loop was unavailable.
class LoopWatch : public QObject
{
public:
    explicit LoopWatch(QObject *parent = nullptr) : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this,
                [this] { m_maxGap = qMax(m_maxGap, m_clock.restart()); });
        m_clock.start();
        m_timer.start(10);
    }
    qint64 maxGapMs() const { return m_maxGap; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_maxGap = 0;
};

// A shown window on the simulator's line, polling at the given interval.
struct LiveRun
{
    SimProcess sim;
    std::unique_ptr<MainWindow> window;
    SerialInterface *serial = nullptr;
    SerialCommHandler *poller = nullptr;
    QStringList frames; // as the window received them

    bool start(const QString &faults, int intervalMs)
    {
        QStringList args{QStringLiteral("--protocol"), kSampleProtocol};
        if (!faults.isEmpty())
            args << QStringLiteral("--fault") << faults;
        if (!sim.start(args))
            return false;
        MainWindow::Options options;
        options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
        options.virtualPorts = {sim.path()};
        window = std::make_unique<MainWindow>(options);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        serial = window->findChild<SerialInterface *>();
        poller = window->findChild<SerialCommHandler *>();
        if (!serial || !poller)
            return false;
        QObject::connect(serial, &SerialInterface::dataReceived, window.get(),
                         [this](const QString &frame) { frames << frame; });
        Ui::MainWindow *ui = window->form();
        ui->portName->setCurrentIndex(ui->portName->count() - 1);
        // Faster than the selector offers, so that a run takes a few seconds.
        ui->proid->addItem(QStringLiteral("%1 ms").arg(intervalMs));
        ui->proid->setCurrentIndex(ui->proid->count() - 1);
        return true;
    }

    Ui::MainWindow *ui() const { return window->form(); }
    int rows() const { return window->tableModel()->rowCount(); }

    // Stops polling with the line still open, and waits until every request is settled: either
    // answered or reported as timed out.
    bool settle()
    {
        poller->stopPeriodicRequest();
        return QTest::qWaitFor([this] { return serial->outstandingRequests() == 0; }, 5000)
                && QTest::qWaitFor([this] { return sim.requests() == window->sentCount(); }, 5000);
    }

    QStringList answerFrames() const
    {
        QStringList out;
        for (const SimAnswer &answer : sim.answers())
            out << answer.frame;
        return out;
    }
};

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noiseAndSplitAnswers();
    void droppedAnswers();
    void silentDevice();
    void badChecksums();
    void hangUpWithContinuousExport();
    void csvUnwritableMidRun();
    void hostileStartUp();

private:
    QTemporaryDir m_settingsDir;
};

void TestFaultInjection::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestFaultInjection::noiseAndSplitAnswers()
{
    LiveRun run;
    QVERIFY(run.start(QStringLiteral("garbage=0.2,split"), 50));
    QSignalSpy timeouts(run.serial, &SerialInterface::timeoutOccurred);
    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(run.sim.answers().size() >= 60, 20000);
    QVERIFY(run.settle());
    QTRY_COMPARE(run.frames.size(), run.sim.answers().size());
    run.ui()->openCom->setChecked(false);

    const int noisy = countLines(run.sim.log(), QStringLiteral("garbage "));
    qInfo("garbage=0.2,split: requests %d, answers sent %d (%d after noise), frames in %d, "
          "rows out %d, timeouts %d",
          run.sim.requests(), int(run.sim.answers().size()), noisy, int(run.frames.size()),
          run.rows(), int(timeouts.count()));
    QVERIFY(noisy > 0);
    // Exactly the frames sent, in order: nothing lost, nothing made up from the noise.
    QCOMPARE(run.frames, run.answerFrames());
    QCOMPARE(run.rows(), int(run.sim.answers().size()));
    QCOMPARE(run.window->receivedCount(), run.rows());
    QCOMPARE(timeouts.count(), 0);
}

void TestFaultInjection::droppedAnswers()
{
    LiveRun run;
    QVERIFY(run.start(QStringLiteral("drop=0.3"), 50));
    QSignalSpy timeouts(run.serial, &SerialInterface::timeoutOccurred);
    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(run.sim.requests() >= 80, 20000);
    const int whilePolling = int(timeouts.count());
    QVERIFY(run.settle());
    QTRY_COMPARE(run.rows(), int(run.sim.answers().size()));
    const bool reportShown = run.ui()->err_info->text().contains(kTimeoutText);
    run.ui()->openCom->setChecked(false);

    const int dropped = countLines(run.sim.log(), QStringLiteral("drop "));
    qInfo("drop=0.3: requests %d, answers sent %d, dropped %d, rows out %d, timeouts reported %d "
          "(%d while polling, the rest within 1 s of the pause)",
          run.sim.requests(), int(run.sim.answers().size()), dropped, run.rows(),
          int(timeouts.count()), whilePolling);
    QVERIFY(dropped > 0);
    QCOMPARE(run.sim.requests(), int(run.sim.answers().size()) + dropped);
    QCOMPARE(run.frames, run.answerFrames());
    QCOMPARE(timeouts.count(), dropped);
    QVERIFY(reportShown);
}

void TestFaultInjection::silentDevice()
{
    LiveRun run;
    QVERIFY(run.start(QStringLiteral("silent"), 50));
    QSignalSpy timeouts(run.serial, &SerialInterface::timeoutOccurred);
    LoopWatch watch;
    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(timeouts.count() >= 20, 20000);
    QVERIFY(run.ui()->err_info->text().contains(kTimeoutText));
    QVERIFY(run.settle());
    run.ui()->openCom->setChecked(false);

    qInfo("silent: requests %d, timeouts reported %d, rows %d, longest event-loop gap %lld ms",
          run.window->sentCount(), int(timeouts.count()), run.rows(), watch.maxGapMs());
    QCOMPARE(timeouts.count(), run.window->sentCount());
    QCOMPARE(run.rows(), 0);
    // A responsiveness bound, not a speed measurement: a blocked loop shows as seconds.
    QVERIFY2(watch.maxGapMs() < 500, QByteArray::number(watch.maxGapMs()));
}

void TestFaultInjection::badChecksums()
{
    LiveRun run;
    QVERIFY(run.start(QStringLiteral("bad-checksum=0.5"), 50));
    QStringList shown;
    // Connected after the window's own handler: sees the error line it has just written.
    connect(run.window.get(), &MainWindow::handleCRCError, this,
            [&] { shown << run.ui()->err_info->text(); });
    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(run.sim.answers().size() >= 40, 20000);
    QVERIFY(run.settle());
    QTRY_COMPARE(run.rows(), int(run.sim.answers().size()));
    run.ui()->openCom->setChecked(false);

    const int bad =
            countLines(run.sim.log(), QStringLiteral("answer "), QStringLiteral(" bad-checksum "));
    qInfo("bad-checksum=0.5: answers sent %d (%d with a bad checksum), rows out %d, "
          "checksum errors shown %d",
          int(run.sim.answers().size()), bad, run.rows(), int(shown.size()));
    QVERIFY(bad > 0 && bad < run.sim.answers().size());
    QCOMPARE(run.frames, run.answerFrames());
    QCOMPARE(shown.size(), bad);
    QCOMPARE(shown.count(QStringLiteral("CRC 校验失败")), bad);
}

void TestFaultInjection::hangUpWithContinuousExport()
{
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("live.csv"));
    LiveRun run;
    QVERIFY(run.start(QStringLiteral("hangup-after=20"), 50));
    QSignalSpy errors(run.serial, &SerialInterface::errorOccurred);

    // Continuous export, as the user arms it: the box, then an export of the table.
    run.ui()->realtime_export->setChecked(true);
    run.window->viewExportToCSV(run.ui()->tableView, csvPath);
    QCOMPARE(run.window->armedExportFiles(), QStringList{csvPath});
    QElapsedTimer sinceLastRow;
    connect(run.window->tableModel(), &QAbstractItemModel::rowsInserted, this,
            [&] { sinceLastRow.start(); });

    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(!run.ui()->openCom->isChecked(), 10000);
    const qint64 stopMs = sinceLastRow.elapsed();

    // Stopped for good: no polling, and the process idles.
    const int sent = run.window->sentCount();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(1000);
    const double cpuShare = (cpuSeconds() - cpuBefore) / (double(idle.elapsed()) / 1000.0);

    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const qsizetype csvRows = csv.readAll().count('\n') - 1; // less the header
    qInfo("hangup-after=20: answers sent %d, rows %d, csv rows %lld, error signals %d, "
          "switch off %lld ms after the last row, cpu while stopped %.0f%%",
          int(run.sim.answers().size()), run.rows(), qlonglong(csvRows), int(errors.count()),
          stopMs, cpuShare * 100.0);
    QCOMPARE(run.rows(), 20);
    QCOMPARE(csvRows, qsizetype(20));
    QVERIFY2(errors.count() <= 5, QByteArray::number(errors.count()));
    QCOMPARE(run.window->sentCount(), sent);
    QVERIFY2(cpuShare < 0.5, QByteArray::number(cpuShare));
    QVERIFY(run.ui()->portName->isEnabled());
}

namespace {
QtMessageHandler g_previousHandler = nullptr;
int g_exportFailures = 0;
void countExportFailures(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QStringLiteral("实时导出失败")))
        ++g_exportFailures;
    g_previousHandler(type, context, text);
}
} // namespace

void TestFaultInjection::csvUnwritableMidRun()
{
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("live.csv"));
    LiveRun run;
    QVERIFY(run.start(QString(), 50));
    run.ui()->realtime_export->setChecked(true);
    run.window->viewExportToCSV(run.ui()->tableView, csvPath);
    run.ui()->openCom->setChecked(true);
    QTRY_VERIFY(run.rows() >= 5);

    // A directory in the file's place: not even root can open it for writing.
    g_exportFailures = 0;
    g_previousHandler = qInstallMessageHandler(countExportFailures);
    QVERIFY(QFile::remove(csvPath));
    QVERIFY(QDir().mkdir(csvPath));
    const int rowsAtFailure = run.rows();
    QTRY_VERIFY(run.rows() >= rowsAtFailure + 10);
    // Still shown after many successful sends.
    QVERIFY2(run.ui()->err_info->text().contains(QDir::toNativeSeparators(csvPath)),
             qPrintable(run.ui()->err_info->text()));
    qInstallMessageHandler(g_previousHandler);
    QVERIFY(run.settle());
    run.ui()->openCom->setChecked(false);

    const QString again = dir.filePath(QStringLiteral("again.csv"));
    run.window->viewExportToCSV(run.ui()->tableView, again);
    QFile csv(again);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const qsizetype csvRows = csv.readAll().count('\n') - 1;
    qInfo("unwritable csv: answers %d, rows %d, reports %d, rows in the new export %lld",
          int(run.sim.answers().size()), run.rows(), g_exportFailures, qlonglong(csvRows));
    QCOMPARE(g_exportFailures, 1);
    // The simulator logs an answer after writing it: its log may trail the window's rows.
    QTRY_COMPARE(int(run.sim.answers().size()), run.rows());
    QCOMPARE(csvRows, qsizetype(run.rows()));
}

void TestFaultInjection::hostileStartUp()
{
    // A settings file of noise where the window looks for its settings.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QVERIFY(QDir(settingsDir.path()).mkpath(QStringLiteral("TRBMS")));
    {
        QFile settings(settingsDir.filePath(QStringLiteral("TRBMS/BV-BMS.conf")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 256);
        settings.write("[General]\nportName=\"unterminated\nproid=@Variant(\\0\\0\\xff\n");
        settings.write(noise);
    }

    // A crowded protocols directory: 1,000 broken files, one of 20 MB, and one good protocol.
    QTemporaryDir protocols;
    for (int i = 0; i < 1000; ++i) {
        QFile f(protocols.filePath(QStringLiteral("p%1.json").arg(i, 4, 10, QLatin1Char('0'))));
        QVERIFY(f.open(QIODevice::WriteOnly));
        switch (i % 4) {
        case 0:
            f.write("{\"protocol\": {\"name\": \"Half");
            break;
        case 1:
            f.write("not json at all");
            break;
        case 2:
            f.write(QByteArrayLiteral("\x00\xff\xfe\x01"));
            break;
        default:
            f.write(QStringLiteral("{\"protocol\": {\"name\": \"Empty%1\", \"commands\": []}}")
                            .arg(i)
                            .toUtf8());
        }
    }
    {
        QFile big(protocols.filePath(QStringLiteral("huge.json")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write("{\"protocol\": {\"name\": \"Huge\", \"commands\": [");
        const QByteArray item =
                "{\"name\": \"c\", \"code\": \"42\", \"note\": \"" + QByteArray(200, 'x') + "\"},";
        while (big.size() < 20 * 1024 * 1024)
            big.write(item);
        big.write("{\"name\": \"last\", \"code\": \"43\"}]}}");
    }
    QVERIFY(QFile::copy(kSampleProtocol, protocols.filePath(QStringLiteral("zz-cs-16s.json"))));

    QElapsedTimer clock;
    clock.start();
    MainWindow::Options options;
    options.protocolDirectory = protocols.path();
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const qint64 startMs = clock.elapsed();
    qInfo("start-up with a corrupt settings file, 1,001 protocol files and one of 20 MB: %lld ms",
          startMs);

    QVERIFY(window.protocols()->availableProtocols().size() >= 1);
    QVERIFY(window.currentProtocolConfig());
    QVERIFY(window.tableModel()->columnCount() > 0);
    QVERIFY(window.form()->proid->count() > 0 && window.form()->bard->count() > 0);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
