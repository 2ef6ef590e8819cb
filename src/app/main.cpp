#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstring>

namespace {

struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption portOption{
            QStringLiteral("port"),
            QStringLiteral("Also offer PATH as a serial port (a pseudo-terminal or a socat link, "
                           "which the system does not list). Repeatable."),
            QStringLiteral("PATH")};

    CommandLine()
    {
        parser.setApplicationDescription(
                QStringLiteral("Cellscribe: data collector for battery management systems."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(portOption);
    }
};

// --help and --version answer without a display.
bool wantsTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *flag : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], flag) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Pixel sizes of the window are meant as they stand: no scaling by the framework.
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "0");
    qputenv("QT_SCREEN_SCALE_FACTORS", "1");
    qputenv("QT_SCALE_FACTOR", "1");
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("BV-BMS"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CELLSCRIBE_VERSION));

    if (wantsTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("cellscribe"));
        CommandLine commandLine;
        commandLine.parser.process(core); // prints and exits
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/Icon/app.png")));
    CommandLine commandLine;
    commandLine.parser.process(app);

    MainWindow::Options options;
    options.virtualPorts = commandLine.parser.values(commandLine.portOption);

    int result = 0;
    {
        MainWindow window(options);
        window.show();
        result = app.exec();
    }
    return result;
}
