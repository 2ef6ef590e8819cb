// cellscribe-bms-sim: plays a BMS for a protocol file on a pseudo-terminal or a serial device.

#include "bmssimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

bool installSignalHandlers()
{
    if (::pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0
            && ::sigaction(SIGHUP, &sa, nullptr) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cellscribe-bms-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Plays a BMS for a protocol file. Creates a pseudo-terminal and prints the path of its "
            "slave side as the first line on standard output, then answers every request frame "
            "of the protocol with a response carrying simulated battery values."));
    parser.addHelpOption();
    const QCommandLineOption protocolOption(QStringLiteral("protocol"),
                                            QStringLiteral("Protocol file to play."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption linkOption(
            QStringLiteral("link"),
            QStringLiteral("Also make PATH a symbolic link to the line (removed on exit)."),
            QStringLiteral("PATH"));
    const QCommandLineOption deviceOption(
            QStringLiteral("device"),
            QStringLiteral("Use this existing serial device instead of a pseudo-terminal."),
            QStringLiteral("PATH"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Baud rate for --device (default 9600)."),
                                        QStringLiteral("RATE"), QStringLiteral("9600"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the simulated values (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption faultOption(
            QStringLiteral("fault"),
            QStringLiteral("Misbehave: silent, drop=P, garbage=P, split, bad-checksum=P, "
                           "delay=MS, hangup-after=N (P a share from 0 to 1). Repeatable; "
                           "also comma-separated."),
            QStringLiteral("FAULT"));
    const QCommandLineOption scenarioOption(
            QStringLiteral("scenario"),
            QStringLiteral("Force readings for 20 answers from the K-th answer on (counted from "
                           "1): overvoltage-cell=N@K (cell N at 3700 mV), undervoltage-cell=N@K "
                           "(2500 mV), spread=N@K (cell N 150 mV low), overtemp=N@K (probe N at "
                           "60 °C). Repeatable; also comma-separated."),
            QStringLiteral("SCENARIO"));
    const QCommandLineOption verboseOption(
            QStringLiteral("verbose"),
            QStringLiteral("Log one line per request and answer to standard error."));
    parser.addOptions({protocolOption, linkOption, deviceOption, baudOption, seedOption,
                       faultOption, scenarioOption, verboseOption});
    parser.process(app);

    auto fail = [](const QString &message) {
        std::fprintf(stderr, "cellscribe-bms-sim: %s\n", qPrintable(message));
        return 2;
    };
    if (!parser.isSet(protocolOption))
        return fail(QStringLiteral("--protocol FILE is required"));
    if (parser.isSet(linkOption) && parser.isSet(deviceOption))
        return fail(QStringLiteral("--link applies only to a pseudo-terminal, not to --device"));

    BmsSimulator::Options options;
    options.protocolPath = parser.value(protocolOption);
    options.linkPath = parser.value(linkOption);
    options.devicePath = parser.value(deviceOption);
    options.verbose = parser.isSet(verboseOption);
    bool ok = false;
    options.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("invalid --seed: %1").arg(parser.value(seedOption)));
    options.baudRate = parser.value(baudOption).toInt(&ok);
    if (!ok || options.baudRate <= 0)
        return fail(QStringLiteral("invalid --baud: %1").arg(parser.value(baudOption)));
    const QStringList faults = parser.values(faultOption);
    for (const QString &fault : faults) {
        QString error;
        if (!options.faults.parse(fault, &error))
            return fail(error);
    }

    const QStringList scenarios = parser.values(scenarioOption);
    for (const QString &scenario : scenarios) {
        QString error;
        if (!options.scenario.parse(scenario, &error))
            return fail(error);
    }

    if (!installSignalHandlers())
        return fail(QStringLiteral("cannot install signal handlers"));

    BmsSimulator simulator;
    QString error;
    if (!simulator.start(options, &error))
        return fail(error);

    std::printf("%s\n", qPrintable(simulator.linePath()));
    std::fflush(stdout);

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[16];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) { }
        simulator.shutdown();
        QCoreApplication::exit(0);
    });
    QObject::connect(&simulator, &BmsSimulator::finished, &app,
                     [](int code) { QCoreApplication::exit(code); });

    const int code = app.exec();
    simulator.shutdown();
    return code;
}
