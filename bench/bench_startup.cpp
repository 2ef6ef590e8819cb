// Start-up: process start to the main window shown (first exposure painted), cellscribe with the
// two sample protocols beside it, against a minimal Qt Widgets program showing one empty window
// (startup_minimal), alternating, median of 10 runs each.
//
// Both programs print "shown <steady clock ns>" when painted (cellscribe only with
// CELLSCRIBE_EXIT_WHEN_SHOWN set); the time is taken from just before the process is started.

#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

namespace {

constexpr int kRuns = 10;

// Milliseconds from starting the program to its "shown" line; negative on failure.
double startupMs(const QString &program, const QStringList &arguments,
                 const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = std::chrono::steady_clock::now().time_since_epoch();
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    const QByteArray out = process.readAllStandardOutput();
    const qsizetype at = out.indexOf("shown ");
    if (at < 0)
        return -1;
    const qint64 shown = out.mid(at + 6).trimmed().toLongLong();
    return double(shown - std::chrono::duration_cast<std::chrono::nanoseconds>(start).count())
            / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Settings of these runs stay out of the user's.
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    environment.insert(QStringLiteral("CELLSCRIBE_EXIT_WHEN_SHOWN"), QStringLiteral("1"));

    const QString cellscribe = QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe");
    const QString minimal = QCoreApplication::applicationDirPath() + "/startup_minimal";
    const int protocols = int(QDir(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/protocols"))
                                      .entryList({QStringLiteral("*.json")}, QDir::Files)
                                      .size());
    // A port to list, so that start-up does not stop at the "no serial port" box.
    const QStringList arguments{QStringLiteral("--port"), home.filePath(QStringLiteral("tty"))};

    // One unmeasured run of each fills the file system caches.
    startupMs(cellscribe, arguments, environment);
    startupMs(minimal, {}, environment);
    std::vector<double> ours, reference;
    bool failed = false;
    for (int i = 0; i < kRuns; ++i) {
        const double a = startupMs(cellscribe, arguments, environment);
        const double b = startupMs(minimal, {}, environment);
        failed |= a < 0 || b < 0;
        ours.push_back(a);
        reference.push_back(b);
    }
    const double oursMs = bench::median(ours);
    const double referenceMs = bench::median(reference);
    const double ratio = oursMs / referenceMs;
    bench::report("startup_to_shown", bench::num(oursMs, 1), QStringLiteral("ms"),
                  QStringLiteral("<= 4x the minimal Qt Widgets program"),
                  QStringLiteral("minimal window %1 ms; %2 protocols; median of %3")
                          .arg(bench::num(referenceMs, 1))
                          .arg(protocols)
                          .arg(kRuns),
                  bench::num(ratio, 2) + u'x', !failed && protocols == 2 && ratio <= 4);
    return 0;
}
