#include "app/mainwindow.h"
#include "app/shownprobe.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QWindow>

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

enum class TextAnswer { None, Help, Version };

// --help and --version answer without a display, so they are looked for before the GUI
// application exists. Single-dash words count as whole options here, so that the framework's
// own arguments (-platform, -reverse, ...) are not read as clusters of short options; other
// arguments are judged later by the GUI application's parse.
TextAnswer textAnswer(int argc, char *argv[], CommandLine &commandLine)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser &parser = commandLine.parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.parse(arguments);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    if (parser.isSet(QStringLiteral("version")))
        return TextAnswer::Version;
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return TextAnswer::Help;
    return TextAnswer::None;
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

    {
        CommandLine commandLine;
        const TextAnswer answer = textAnswer(argc, argv, commandLine);
        if (answer != TextAnswer::None) {
            QCoreApplication core(argc, argv);
            QCoreApplication::setApplicationName(QStringLiteral("cellscribe"));
            if (answer == TextAnswer::Version)
                commandLine.parser.showVersion(); // prints and exits
            commandLine.parser.showHelp(0);
        }
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
        ShownProbe probe;
        if (qEnvironmentVariableIsSet("CELLSCRIBE_EXIT_WHEN_SHOWN")) {
            window.winId(); // creates the native window to watch
            window.windowHandle()->installEventFilter(&probe);
        }
        window.show();
        result = app.exec();
    }
    return result;
}
