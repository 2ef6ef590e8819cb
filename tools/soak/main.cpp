// Soak run: the main window on the offscreen platform receives a long stream of BMS answers as
// fast as it can read them, with continuous CSV export, and what went in is compared with what
// came out.
//
// A writer thread plays the BMS on a pseudo-terminal: it makes the simulator's answers (its
// battery model and response encoder) for the window's active command and writes them back to
// back, without waiting for requests, so the window's receive path is the only limit. The window
// polls once a minute; its requests are read and dropped.

#include "app/mainwindow.h"
#include "batterymodel.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "responseencoder.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

namespace {

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

struct Writer
{
    int fd = -1;
    qint64 frames = 0;
    QString protocolPath;
    QString commandName;
    std::atomic<qint64> written{0};
    std::atomic<bool> stop{false};
    QString error;

    void run()
    {
        ProtocolConfig config;
        if (!config.loadConfig(protocolPath)) {
            error = QStringLiteral("cannot load ") + protocolPath;
            return;
        }
        const CommandDefinition command = config.command(commandName);
        BatteryModel model(1);
        QByteArray out;
        qsizetype sent = 0;
        char sink[4096];
        while (!stop.load()) {
            // A few answers at a time keep the line full without one write per frame.
            if (sent == out.size()) {
                out.clear();
                sent = 0;
                while (out.size() < 4096 && written.load() < frames) {
                    model.advance();
                    QList<quint64> raws;
                    for (const DataSegment &segment : command.dataSegments)
                        raws.append(model.rawValue(segment));
                    out += ResponseEncoder::encode(config, command, raws);
                    written.fetch_add(1);
                }
                if (out.isEmpty())
                    return; // all handed over
            }
            pollfd p{fd, POLLIN | POLLOUT, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            if (p.revents & POLLIN) // the window's requests
                while (::read(fd, sink, sizeof sink) > 0) { }
            if (p.revents & POLLOUT) {
                const ssize_t n = ::write(fd, out.constData() + sent, size_t(out.size() - sent));
                if (n > 0)
                    sent += n;
                else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    error = QStringLiteral("write failed");
                    return;
                }
            }
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("BV-BMS"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Streams BMS answers into the main window with continuous CSV export and checks that "
            "frames in = table rows = CSV lines."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("frames"),
                                 QStringLiteral("Answers to send (default 1000000)."));
    const QCommandLineOption protocolOption(QStringLiteral("protocol"),
                                            QStringLiteral("Protocol file name in protocols/."),
                                            QStringLiteral("NAME"), QStringLiteral("cs-16s.json"));
    parser.addOption(protocolOption);
    parser.process(app);
    // A stream without pauses makes the link warn about every batch of frames it reads.
    QLoggingCategory::setFilterRules(QStringLiteral("cellscribe.*.warning=false"));
    bool ok = true;
    const qint64 frames = parser.positionalArguments().isEmpty()
            ? 1000000
            : parser.positionalArguments().first().toLongLong(&ok);
    if (!ok || frames < 1) {
        std::fprintf(stderr, "cellscribe-soak: frames must be a positive number\n");
        return 2;
    }

    QTemporaryDir scratch;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch.path());
    // The run's recording goes to the scratch directory too, not to the user's.
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
            .setValue(QStringLiteral("recordingDirectory"),
                      scratch.filePath(QStringLiteral("recordings")));
    // The window loads the one protocol the driver plays.
    const QString protocolDir = scratch.filePath(QStringLiteral("protocols"));
    const QString protocolPath = QCoreApplication::applicationDirPath()
            + QStringLiteral("/protocols/") + parser.value(protocolOption);
    if (!QDir().mkpath(protocolDir)
        || !QFile::copy(protocolPath,
                        protocolDir + QLatin1Char('/') + parser.value(protocolOption))) {
        std::fprintf(stderr, "cellscribe-soak: cannot use %s\n", qPrintable(protocolPath));
        return 1;
    }

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "cellscribe-soak: no pseudo-terminal\n");
        return 1;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    MainWindow::Options options;
    options.protocolDirectory = protocolDir;
    options.virtualPorts = {QString::fromLocal8Bit(name)};
    MainWindow window(options);
    window.show();
    Ui::MainWindow *ui = window.form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->addItem(QStringLiteral("60 s"));
    ui->proid->setCurrentIndex(ui->proid->count() - 1);
    if (window.activeCommand().isEmpty()) {
        std::fprintf(stderr, "cellscribe-soak: no request command in %s\n",
                     qPrintable(protocolDir));
        return 1;
    }

    // Continuous export, as the user arms it: the box, then an export of the table.
    const QString csvPath = scratch.filePath(QStringLiteral("soak.csv"));
    ui->realtime_export->setChecked(true);
    window.viewExportToCSV(ui->tableView, csvPath);
    if (window.armedExportFiles() != QStringList{csvPath}) {
        std::fprintf(stderr, "cellscribe-soak: continuous export to %s not armed\n",
                     qPrintable(csvPath));
        return 1;
    }

    Writer writer;
    writer.fd = master;
    writer.frames = frames;
    writer.protocolPath = protocolPath;
    writer.commandName = window.activeCommand();

    ui->openCom->setChecked(true);
    if (!ui->openCom->isChecked()) {
        std::fprintf(stderr, "cellscribe-soak: acquisition did not start\n");
        return 1;
    }
    // The window holds the line now; the driver's own slave descriptor is not needed.
    ::close(slave);

    const qint64 startRss = residentBytes();
    qint64 warmRss = -1;
    int warmRows = 0;
    // Resident memory at each quarter of the run: growth per row should stay the same.
    QList<QPair<int, qint64>> quarters;
    QElapsedTimer clock;
    clock.start();
    QThread *thread = QThread::create([&writer] { writer.run(); });
    thread->start();

    int lastRows = 0;
    qint64 lastProgressMs = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &app, [&] {
        const int rows = window.tableModel()->rowCount();
        if (quarters.size() < 4 && rows >= frames * (quarters.size() + 1) / 4)
            quarters.append({rows, residentBytes()});
        if (warmRss < 0 && rows >= 10000) {
            warmRss = residentBytes();
            warmRows = rows;
        }
        std::printf("  %6.1f s  rows %9d  rss %7.1f MB\n", double(clock.elapsed()) / 1000.0, rows,
                    double(residentBytes()) / 1048576.0);
        std::fflush(stdout);
        if (rows != lastRows) {
            lastRows = rows;
            lastProgressMs = clock.elapsed();
        }
        const bool done = rows >= frames && thread->isFinished();
        if (done || clock.elapsed() - lastProgressMs > 10000)
            app.quit();
    });
    sampler.start(1000);
    app.exec();
    const qint64 elapsedMs = clock.elapsed();
    const qint64 endRss = residentBytes();
    const int rows = window.tableModel()->rowCount();
    const int received = window.receivedCount();
    ui->openCom->setChecked(false);
    writer.stop = true;
    thread->wait();
    delete thread;
    ::close(master);

    QFile csv(csvPath);
    qint64 csvRows = -1;
    if (csv.open(QIODevice::ReadOnly)) {
        csvRows = -1; // less the header
        char buf[1 << 16];
        qint64 n = 0;
        while ((n = csv.read(buf, sizeof buf)) > 0)
            csvRows += std::count(buf, buf + n, '\n');
    }

    const qint64 sent = writer.written.load();
    const double perRow = warmRss >= 0 && rows > warmRows
            ? double(endRss - warmRss) / double(rows - warmRows)
            : double(endRss - startRss) / double(qMax(rows, 1));
    std::printf("frames sent %lld, frames received %d, table rows %d, csv rows %lld\n",
                qlonglong(sent), received, rows, qlonglong(csvRows));
    std::printf("time %.1f s, %.0f frames/s\n", double(elapsedMs) / 1000.0,
                double(rows) / (double(elapsedMs) / 1000.0));
    // Counted from the first 10,000 rows on, past the start-up allocations, when there are that
    // many.
    if (warmRss >= 0)
        std::printf("rss at start %.1f MB, after %d rows %.1f MB, at end %.1f MB: %.0f bytes/row\n",
                    double(startRss) / 1048576.0, warmRows, double(warmRss) / 1048576.0,
                    double(endRss) / 1048576.0, perRow);
    else
        std::printf("rss at start %.1f MB, at end %.1f MB: %.0f bytes/row\n",
                    double(startRss) / 1048576.0, double(endRss) / 1048576.0, perRow);
    for (qsizetype i = 1; i < quarters.size(); ++i) {
        const auto &[fromRows, fromRss] = quarters.at(i - 1);
        const auto &[toRows, toRss] = quarters.at(i);
        if (toRows > fromRows)
            std::printf("  rows %d to %d: %.0f bytes/row\n", fromRows, toRows,
                        double(toRss - fromRss) / double(toRows - fromRows));
    }
    if (!writer.error.isEmpty())
        std::printf("writer: %s\n", qPrintable(writer.error));
    // Memory goals: at most 250 MB resident after a million rows (scaled for other counts,
    // beside the start), and no growth per row beyond what the table holds for a row: the
    // store's record and the row header's section entry (8 bytes in Qt).
    const double tableBytesPerRow =
            double(window.tableModel()->cellStore().heldBytes()) / double(qMax(rows, 1)) + 8;
    const double endMb = double(endRss) / 1048576.0;
    const double allowedMb = double(startRss) / 1048576.0
            + (250.0 - double(startRss) / 1048576.0) * double(frames) / 1e6;
    const bool memoryOk = endMb <= allowedMb && perRow <= tableBytesPerRow * 1.25;
    std::printf("soak_rss_%s: %.1f MB resident after %d rows (goal <= %.0f MB and growth <= 1.25x "
                "the table's own bytes per row, reference table %.0f bytes/row (store and row "
                "header), resident %.0f bytes/row, ratio %.2fx) %s\n",
                frames == 1000000 ? "1m" : "rows", endMb, rows, allowedMb, tableBytesPerRow, perRow,
                perRow / tableBytesPerRow, memoryOk ? "ok" : "missed");
    const bool pass = writer.error.isEmpty() && sent == frames && received == frames
            && rows == frames && csvRows == frames;
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
