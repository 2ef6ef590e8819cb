// cellscribe-record: its CPU share polling the simulator every 200 ms, and whether its memory
// stays flat while it takes frames as fast as a line can bring them.

#include "batterymodel.h"
#include "benchsupport.h"
#include "protocol/protocolconfig.h"
#include "responseencoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kRecorder = QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-record");
const QString kSimulator = QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-bms-sim");
const QString kProtocol = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

// User plus system CPU seconds of a process, from /proc.
double cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the whole line (utime, stime) are 11 and 12 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble())
            / double(sysconf(_SC_CLK_TCK));
}

qint64 residentKb(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool cpuShare(const QTemporaryDir &dir)
{
    const QString link = dir.filePath(QStringLiteral("bms"));
    QProcess sim;
    sim.start(kSimulator,
              {QStringLiteral("--protocol"), kProtocol, QStringLiteral("--link"), link});
    for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i)
        QThread::msleep(50);
    QProcess recorder;
    recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    recorder.start(kRecorder,
                   {QStringLiteral("--port"), link, QStringLiteral("--protocol"), kProtocol,
                    QStringLiteral("--interval"), QStringLiteral("200 ms"), QStringLiteral("--csv"),
                    dir.filePath(QStringLiteral("cpu.csv")), QStringLiteral("--record"),
                    dir.filePath(QStringLiteral("cpu.csrec")), QStringLiteral("--duration"),
                    QStringLiteral("33"), QStringLiteral("--quiet")});
    if (!recorder.waitForStarted(5000))
        return false;
    const qint64 pid = recorder.processId();
    // Start-up is not polling: measure from two seconds in, for 30 s.
    QThread::msleep(2000);
    const double cpu0 = cpuSeconds(pid);
    const double wall0 = bench::nowSeconds();
    QThread::msleep(30000);
    const double cpu1 = cpuSeconds(pid);
    const double wall1 = bench::nowSeconds();
    recorder.waitForFinished(10000);
    sim.terminate();
    sim.waitForFinished(5000);
    QFile csv(dir.filePath(QStringLiteral("cpu.csv")));
    const int rows = csv.open(QIODevice::ReadOnly) ? int(csv.readAll().count('\n')) - 1 : 0;
    const double share = 100.0 * (cpu1 - cpu0) / (wall1 - wall0);
    std::printf("recorder rows in %.0f s: %d\n", wall1 - wall0 + 3, rows);
    return bench::report("recorder_cpu", bench::num(share, 3), QStringLiteral("% of one core"),
                         QStringLiteral("< 0.3 %, polling every 200 ms for 30 s"), QString(),
                         QString(), cpu0 >= 0 && cpu1 >= 0 && share < 0.3);
}

bool memoryFlat(const QTemporaryDir &dir)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    constexpr int kFrames = 100000;
    QProcess recorder;
    recorder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    recorder.start(kRecorder,
                   {QStringLiteral("--port"), QString::fromLocal8Bit(name),
                    QStringLiteral("--protocol"), kProtocol, QStringLiteral("--csv"),
                    dir.filePath(QStringLiteral("flat.csv")), QStringLiteral("--record"),
                    dir.filePath(QStringLiteral("flat.csrec")), QStringLiteral("--frames"),
                    QString::number(kFrames), QStringLiteral("--quiet")});
    if (!recorder.waitForStarted(5000))
        return false;
    const qint64 pid = recorder.processId();

    ProtocolConfig config;
    config.loadConfig(kProtocol);
    const CommandDefinition command = config.command(QStringLiteral("pack_status"));
    BatteryModel model(7);
    // Frames answer no request here: the line simply carries them as fast as it is read.
    qint64 rssAfterWarmUp = -1, rssAtEnd = -1;
    const double start = bench::nowSeconds();
    char sink[4096];
    for (int n = 0; n < kFrames; ++n) {
        model.advance();
        QList<quint64> raws;
        for (const DataSegment &segment : command.dataSegments)
            raws.append(model.rawValue(segment));
        const QByteArray frame = ResponseEncoder::encode(config, command, raws);
        qsizetype done = 0;
        while (done < frame.size()) {
            while (::read(master, sink, sizeof sink) > 0) { } // the recorder's own requests
            const ssize_t w =
                    ::write(master, frame.constData() + done, size_t(frame.size() - done));
            if (w > 0) {
                done += w;
            } else if (errno == EAGAIN) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else if (errno != EINTR) {
                return false;
            }
        }
        if (n == 10000)
            rssAfterWarmUp = residentKb(pid);
        if (n == kFrames - 1000)
            rssAtEnd = residentKb(pid);
    }
    const bool ended = recorder.waitForFinished(60000) && recorder.exitCode() == 0;
    const double seconds = bench::nowSeconds() - start;
    ::close(master);
    const qint64 growth = rssAtEnd - rssAfterWarmUp;
    std::printf("recorder frames per second at full speed: %.0f\n", kFrames / seconds);
    return bench::report("recorder_memory_growth", QString::number(growth), QStringLiteral("KB"),
                         QStringLiteral("< 1024 KB from 10k to 99k frames"),
                         QStringLiteral("%1 KB resident after 10k").arg(rssAfterWarmUp), QString(),
                         ended && rssAfterWarmUp > 0 && growth < 1024);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const bool flat = memoryFlat(dir);
    const bool light = cpuShare(dir);
    return flat && light ? 0 : 0; // a missed goal is a figure, not a failure of the run
}
