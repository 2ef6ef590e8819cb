// Live window: the main window (offscreen, 1600 x 900 so that the chart page is shown, auto-scroll
// on) polling cellscribe-bms-sim every 200 ms for 60 s through the simulator's --link path; then
// another 60 s with the trend tab shown instead (its default curves, following the newest rows),
// and another with the table tab shown (auto-scroll on, each new row scrolled into view).
//
// The program builds the window itself, exactly as cellscribe's main() does, so that the probe can
// live in the same process:
// - CPU: this whole process's CPU seconds (all threads, user and system) over the wall seconds
//   of the run, against one core.
// - Latency: from the event loop noticing the port readable for the bytes that complete a frame
//   (the read notifier's activation, before Qt reads them) to the window's frame handler having
//   written the values into the fields (a slot connected after the window's own). Time spent in
//   the kernel between the simulator's write and that notice is not included; the round trip from
//   the request written to the fields updated, which includes it twice and the simulator's turn, is
//   printed beside it.
//
// Usage: bench_livewindow [SECONDS]

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "datalog/rdmodel.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QSerialPort>
#include <QSettings>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

double processCpuSeconds()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
#else
    return 0;
#endif
}

// Notes when the port's read notifier fires; the window's handler has not seen the bytes yet.
class ReadProbe : public QObject
{
public:
    double lastNotice = 0;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::SockAct)
            lastNotice = bench::nowSeconds();
        return QObject::eventFilter(watched, event);
    }
};

// Runs the event loop until done() holds (checked every 20 ms) or the time is up.
void waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "0");
    qputenv("QT_SCREEN_SCALE_FACTORS", "1");
    qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 60;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    // Recording on, as users run it, into the scratch directory.
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
            .setValue(QStringLiteral("recordingDirectory"),
                      dir.filePath(QStringLiteral("recordings")));

    const QString link = dir.filePath(QStringLiteral("bms"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-bms-sim"),
              {QStringLiteral("--protocol"),
               QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json"), QStringLiteral("--link"),
               link});
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_livewindow: the simulator did not start\n");
        return 1;
    }

    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = {link};
    MainWindow window(options);
    window.resize(1600, 900);
    window.show();
    Ui::MainWindow *ui = window.form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    const int fastest = ui->bard->findText(QStringLiteral("115200"));
    if (fastest >= 0)
        ui->bard->setCurrentIndex(fastest);
    ui->autoruncheck->setChecked(true);
    waitFor([] { return false; }, 300); // layouts settle, the chart page comes up
    auto *stack = window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget_voltage"));
    const bool chartShown = stack && stack->currentIndex() == 1 && window.voltageChart()
            && window.voltageChart()->isVisible();

    auto *serial = window.findChild<SerialInterface *>();
    auto *handler = window.findChild<SerialCommHandler *>();
    ReadProbe probe;
    std::vector<double> latencies, roundTrips;
    double lastRequest = 0;
    int frames = 0;
    bool measuring = false;
    QObject::connect(handler, &SerialCommHandler::requestSent, &app,
                     [&] { lastRequest = bench::nowSeconds(); });
    // Connected after the window's handler, so it runs once the fields are written.
    QObject::connect(serial, &SerialInterface::dataReceived, &app, [&] {
        const double now = bench::nowSeconds();
        ++frames;
        if (!measuring)
            return;
        if (probe.lastNotice > 0)
            latencies.push_back(now - probe.lastNotice);
        if (lastRequest > 0)
            roundTrips.push_back(now - lastRequest);
    });

    ui->openCom->setChecked(true);
    if (!serial->isOpen()) {
        std::fprintf(stderr, "bench_livewindow: the port did not open\n");
        return 1;
    }
    for (QSocketNotifier *notifier : serial->findChildren<QSocketNotifier *>()) {
        if (notifier->type() == QSocketNotifier::Read)
            notifier->installEventFilter(&probe);
    }
    waitFor([&] { return frames >= 3; }, 5000); // first answers, before the clock starts

    // One measured stretch: this process's CPU seconds over the wall seconds, and the frames in it.
    struct Phase
    {
        double wall = 0;
        double cpu = 0;
        int received = 0;
    };
    auto measure = [&] {
        Phase phase;
        const int framesBefore = frames;
        const double cpuStart = processCpuSeconds();
        const double wallStart = bench::nowSeconds();
        {
            // Nothing of the benchmark's own wakes the loop while it is measured.
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        phase.wall = bench::nowSeconds() - wallStart;
        phase.cpu = processCpuSeconds() - cpuStart;
        phase.received = frames - framesBefore;
        return phase;
    };

    measuring = true;
    const Phase chartPhase = measure();
    const double wall = chartPhase.wall;
    const double cpu = chartPhase.cpu;
    const int received = chartPhase.received;

    // The same with the trend tab in front.
    measuring = false;
    ui->tabWidget->setCurrentWidget(window.trendView());
    waitFor([] { return false; }, 1000);
    const bool trendShown = window.trendView()->isVisible();
    const Phase trendPhase = measure();
    const double trendWall = trendPhase.wall;
    const double trendCpu = trendPhase.cpu;
    const int trendReceived = trendPhase.received;

    // The table tab in front, following the newest row.
    ui->tabWidget->setCurrentWidget(ui->tab_data);
    waitFor([] { return false; }, 1000);
    const bool tableShown = ui->tableView->isVisible() && ui->autoruncheck->isChecked();
    const Phase tablePhase = measure();
    const double tableWall = tablePhase.wall;
    const double tableCpu = tablePhase.cpu;
    const int tableReceived = tablePhase.received;
    ui->openCom->setChecked(false);
    sim.terminate();
    sim.waitForFinished(5000);

    const double share = cpu / wall * 100;
    const double expected = wall / 0.2;
    std::printf("live window: %d frames in %.1f s (%.0f expected), chart page shown: %s, %d rows\n",
                received, wall, expected, chartShown ? "yes" : "NO",
                window.tableModel()->rowCount());
    const bool running = chartShown && received >= expected * 0.9;
    const double trendShare = trendCpu / trendWall * 100;
    std::printf("live window, trend tab: %d frames in %.1f s, trend tab shown: %s\n", trendReceived,
                trendWall, trendShown ? "yes" : "NO");
    bench::report("live_window_cpu", bench::num(share, 2), QStringLiteral("% of one core"),
                  QStringLiteral("< 1 %"),
                  QStringLiteral("%1 CPU s over %2 s").arg(bench::num(cpu, 2), bench::num(wall, 1)),
                  QString(), running && share < 1);
    bench::report(
            "livewindow_trend_cpu", bench::num(trendShare, 2),
            QStringLiteral("% of one core, trend tab shown"), QStringLiteral("< 2 %"),
            QStringLiteral("%1 CPU s over %2 s; chart page %3 %")
                    .arg(bench::num(trendCpu, 2), bench::num(trendWall, 1), bench::num(share, 2)),
            bench::num(trendShare / share, 2) + u'x',
            trendShown && trendReceived >= trendWall / 0.2 * 0.9 && trendShare < 2);
    const double tableShare = tableCpu / tableWall * 100;
    bench::report("livewindow_table_cpu", bench::num(tableShare, 2),
                  QStringLiteral("% of one core, table tab shown, auto-scroll on"),
                  QStringLiteral("< 1.5 %"),
                  QStringLiteral("%1 CPU s over %2 s, %3 rows; chart page %4 %")
                          .arg(bench::num(tableCpu, 2), bench::num(tableWall, 1))
                          .arg(window.tableModel()->rowCount())
                          .arg(bench::num(share, 2)),
                  bench::num(tableShare / share, 2) + u'x',
                  tableShown && tableReceived >= tableWall / 0.2 * 0.9 && tableShare < 1.5);
    const double latencyMs = bench::median(latencies) * 1000;
    std::sort(latencies.begin(), latencies.end());
    const double p95 = latencies.empty() ? 0 : latencies[size_t(latencies.size() * 0.95)] * 1000;
    bench::report("live_window_latency", bench::num(latencyMs, 3), QStringLiteral("ms median"),
                  QStringLiteral("< 2 ms, read notice to fields written"),
                  QStringLiteral("95th percentile %1 ms; request written to fields written %2 ms")
                          .arg(bench::num(p95, 3), bench::num(bench::median(roundTrips) * 1000, 3)),
                  QString(), running && !latencies.empty() && latencyMs < 2);
    return 0;
}
