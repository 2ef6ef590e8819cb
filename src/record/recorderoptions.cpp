#include "record/recorderoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

QString say(int language, const char *chinese, const char *english)
{
    return translateOr(language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

// The language asked for, looked up before parsing so that the parser's own complaints and the
// help come in it too.
int languageOf(const QStringList &arguments)
{
    static const QStringList codes{QStringLiteral("zh"), QStringLiteral("en"),
                                   QStringLiteral("de")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        QString value;
        if (a == QLatin1String("--language") && i + 1 < arguments.size())
            value = arguments.at(i + 1);
        else if (a.startsWith(QLatin1String("--language=")))
            value = a.mid(11);
        else
            continue;
        const qsizetype index = codes.indexOf(value);
        if (index >= 0)
            return int(index);
    }
    return Chinese;
}

QString helpText(int l)
{
    struct Line
    {
        const char *option;
        const char *chinese;
        const char *english;
    };
    static const Line lines[] = {
            {"--port PATH", "轮询的串口：系统名称（COM3、ttyUSB0）或路径（伪终端、链接）",
             "Serial port to poll: a system name (COM3, ttyUSB0) or a path (a pseudo-terminal, a "
             "link)"},
            {"--protocol NAME|FILE", "协议文件，或应用程序 protocols 目录中的协议名称",
             "Protocol file, or a protocol name from the application's protocols directory"},
            {"--command NAME", "轮询的指令（默认：协议的当前指令）",
             "Command to poll (default: the protocol's active command)"},
            {"--baud RATE", "波特率：9600、19200、38400 或 115200（默认 9600）",
             "Baud rate: 9600, 19200, 38400 or 115200 (default 9600)"},
            {"--interval TEXT|MS",
             "轮询间隔：窗口中的间隔文字（“200 ms”、“1 s”、“1 min”…）或 100 到 3600000 毫秒（默认 "
             "1000）",
             "Polling interval: the window's interval texts (\"200 ms\", \"1 s\", \"1 min\", ...) "
             "or 100 to 3600000 milliseconds (default 1000)"},
            {"--csv FILE", "逐行追加实时表到 CSV 文件（与窗口的导出相同）",
             "Append the real-time table to a CSV file row by row (as the window exports it)"},
            {"--language zh|en|de", "CSV 与消息的语言：zh（默认）、en 或 de",
             "Language of the CSV and the messages: zh (default), en or de"},
            {"--duration SECONDS", "运行指定秒数后结束", "End after this many seconds"},
            {"--frames N", "应答 N 帧（N 行）后结束", "End after N answered frames (N table rows)"},
            {"--no-reconnect", "端口丢失时结束（退出码 3），不重连",
             "End when the port is lost (exit code 3) instead of reconnecting"},
            {"--quiet", "不输出每 10 秒的状态行", "No status line every 10 seconds"},
            {"-h, --help", "显示帮助", "Show this help"},
            {"-v, --version", "显示版本", "Show the version"},
    };
    QString text = say(l, "用法：", "Usage:")
            + QStringLiteral(" cellscribe-record --port PATH --protocol NAME|FILE [...]\n")
            + say(l, "轮询 BMS 并记录，无窗口。", "Polls a BMS and records it, without a window.")
            + QStringLiteral("\n\n") + say(l, "选项：", "Options:") + QLatin1Char('\n');
    for (const Line &line : lines) {
        text += QStringLiteral("  %1\n      %2\n")
                        .arg(QLatin1String(line.option), say(l, line.chinese, line.english));
    }
    text += QLatin1Char('\n') + say(l, "退出码：", "Exit codes:") + QLatin1Char('\n');
    text += QStringLiteral("  ")
            + say(l, "0 正常结束（--duration、--frames、SIGINT 或 SIGTERM）",
                  "0 normal end (--duration, --frames, SIGINT or SIGTERM)")
            + QLatin1Char('\n');
    text += QStringLiteral("  ")
            + say(l, "1 参数错误、协议无法加载或 CSV 文件不可用",
                  "1 bad arguments, a protocol that does not load, or a CSV file that cannot be "
                  "used")
            + QLatin1Char('\n');
    text += QStringLiteral("  ")
            + say(l, "2 启动时端口无法打开（使用 --no-reconnect 时）",
                  "2 the port does not open at start (with --no-reconnect)")
            + QLatin1Char('\n');
    text += QStringLiteral("  ")
            + say(l, "3 端口丢失（使用 --no-reconnect 时）",
                  "3 the port was lost (with --no-reconnect)")
            + QLatin1Char('\n');
    return text;
}

} // namespace

qint64 RecorderOptions::parseInterval(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,10})\\s*(ms|s|min)?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return -1;
    qint64 value = match.captured(1).toLongLong();
    const QString unit = match.captured(2);
    if (unit == QLatin1String("s"))
        value *= 1000;
    else if (unit == QLatin1String("min"))
        value *= 60000;
    if (value < minIntervalMs || value > maxIntervalMs)
        return -1;
    return value;
}

RecorderOptions::Outcome RecorderOptions::parse(const QStringList &arguments,
                                                RecorderOptions *options, QString *text)
{
    const int l = languageOf(arguments);
    options->language = l;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption protocol(QStringLiteral("protocol"), QString(), QStringLiteral("P"));
    const QCommandLineOption command(QStringLiteral("command"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("T"));
    const QCommandLineOption csv(QStringLiteral("csv"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption language(QStringLiteral("language"), QString(), QStringLiteral("L"));
    const QCommandLineOption duration(QStringLiteral("duration"), QString(), QStringLiteral("S"));
    const QCommandLineOption frames(QStringLiteral("frames"), QString(), QStringLiteral("N"));
    const QCommandLineOption noReconnect(QStringLiteral("no-reconnect"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({port, protocol, command, baud, interval, csv, language, duration, frames,
                       noReconnect, quiet, help, version});

    const auto fail = [text](const QString &message) {
        *text = message;
        return Outcome::Error;
    };
    if (!parser.parse(arguments))
        return fail(say(l, "命令行无效：%1", "invalid command line: %1").arg(parser.errorText()));
    if (parser.isSet(help)) {
        *text = helpText(l);
        return Outcome::Help;
    }
    if (parser.isSet(version))
        return Outcome::Version;
    if (!parser.positionalArguments().isEmpty())
        return fail(say(l, "无法识别的参数：%1", "unknown argument: %1")
                            .arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(language)) {
        static const QStringList codes{QStringLiteral("zh"), QStringLiteral("en"),
                                       QStringLiteral("de")};
        if (!codes.contains(parser.value(language)))
            return fail(say(l, "--language 取 zh、en 或 de，而不是 %1",
                            "--language takes zh, en or de, not %1")
                                .arg(parser.value(language)));
    }
    options->port = parser.value(port);
    if (options->port.isEmpty())
        return fail(say(l, "缺少 --port", "--port is missing"));
    options->protocol = parser.value(protocol);
    if (options->protocol.isEmpty())
        return fail(say(l, "缺少 --protocol", "--protocol is missing"));
    options->command = parser.value(command);
    if (parser.isSet(baud)) {
        static const QStringList rates{QStringLiteral("9600"), QStringLiteral("19200"),
                                       QStringLiteral("38400"), QStringLiteral("115200")};
        if (!rates.contains(parser.value(baud)))
            return fail(say(l, "波特率必须是 9600、19200、38400 或 115200，而不是 %1",
                            "the baud rate must be 9600, 19200, 38400 or 115200, not %1")
                                .arg(parser.value(baud)));
        options->baudRate = parser.value(baud).toInt();
    }
    if (parser.isSet(interval)) {
        const qint64 ms = parseInterval(parser.value(interval));
        if (ms < 0)
            return fail(say(l, "无效的间隔 %1：应为“200 ms”、“1 s”等，或 100 到 3600000 毫秒",
                            "invalid interval %1: use \"200 ms\", \"1 s\", ... or 100 to 3600000 "
                            "milliseconds")
                                .arg(parser.value(interval)));
        options->intervalMs = int(ms);
    }
    options->csvPath = parser.value(csv);
    if (parser.isSet(duration)) {
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 1e9)
            return fail(say(l, "--duration 取正数秒数，而不是 %1",
                            "--duration takes a positive number of seconds, not %1")
                                .arg(parser.value(duration)));
        options->durationMs = qint64(seconds * 1000.0 + 0.5);
    }
    if (parser.isSet(frames)) {
        bool ok = false;
        options->frames = parser.value(frames).toLongLong(&ok);
        if (!ok || options->frames <= 0)
            return fail(say(l, "--frames 取正整数，而不是 %1",
                            "--frames takes a positive whole number, not %1")
                                .arg(parser.value(frames)));
    }
    options->reconnect = !parser.isSet(noReconnect);
    options->quiet = parser.isSet(quiet);
    return Outcome::Run;
}
