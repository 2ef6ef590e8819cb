#include "app/mainwindow.h"
#include "app/shownprobe.h"
#include "i18n/translations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QWindow>

namespace {

struct Text
{
    const char *chinese;
    const char *english;
};
const Text kDescription = {"Cellscribe：电池管理系统数据采集器。",
                           "Cellscribe: data collector for battery management systems."};
const Text kPortOption = {
        "将 PATH 也列为串口（伪终端或 socat 链接，系统不会列出这类端口）。可重复。",
        "Also offer PATH as a serial port (a pseudo-terminal or a socat link, which the system "
        "does not list). Repeatable."};
// The parser's own words, by the English it is written in.
const Text kParserTexts[] = {
        {"用法：%1", "Usage: %1"},
        {"[选项]", "[options]"},
        {"选项：", "Options:"},
        {"参数：", "Arguments:"},
        {"显示命令行选项的帮助。", "Displays help on commandline options."},
        {"显示帮助，包括 Qt 专用选项。", "Displays help including Qt specific options."},
        {"显示版本信息。", "Displays version information."},
};

QString translated(int language, const Text &text)
{
    return translateOr(language, QString::fromUtf8(text.chinese), QString::fromUtf8(text.english));
}

// Gives the command-line parser's texts in the user's language, from the translation table.
class ParserTranslator : public QTranslator
{
public:
    explicit ParserTranslator(int language) : m_language(language) { }

    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        Q_UNUSED(disambiguation)
        Q_UNUSED(n)
        if (qstrcmp(context, "QCommandLineParser") != 0 || !sourceText)
            return {};
        for (const Text &text : kParserTexts) {
            if (qstrcmp(sourceText, text.english) == 0)
                return translated(m_language, text);
        }
        return {};
    }

private:
    int m_language;
};

struct CommandLine
{
    QCommandLineParser parser;
    QCommandLineOption portOption;

    explicit CommandLine(int language = English)
        : portOption(QStringLiteral("port"), translated(language, kPortOption),
                     QStringLiteral("PATH"))
    {
        parser.setApplicationDescription(translated(language, kDescription));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(portOption);
    }
};

// The language the window was last shown in; without one saved, the system's.
int helpLanguage()
{
    const QSettings settings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"));
    bool ok = false;
    const int saved = settings.value(QStringLiteral("language")).toInt(&ok);
    if (ok && saved >= Chinese && saved <= German)
        return saved;
    switch (QLocale::system().language()) {
    case QLocale::Chinese:
        return Chinese;
    case QLocale::German:
        return German;
    default:
        return English;
    }
}

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
            // The parser words its texts when its options are made: translator first.
            const int language = helpLanguage();
            ParserTranslator translator(language);
            QCoreApplication::installTranslator(&translator);
            CommandLine help(language);
            help.parser.showHelp(0); // prints and exits
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
