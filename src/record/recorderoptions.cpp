#include "record/recorderoptions.h"

#ifdef CELLSCRIBE_HAVE_MQTT
#include "publish/mqtttopics.h"
#include "publish/mqtturl.h"
#endif

#include <QCommandLineParser>
#include <QFileInfo>
#include <QList>
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
            {"--record FILE|DIR",
             "把每一帧记录到 FILE（.csrec），或 DIR "
             "中按开始时间和端口命名的新文件（默认：窗口的记录目录）",
             "Record every frame into FILE (.csrec), or into a new file named by start time and "
             "port in DIR (default: the window's recordings directory)"},
            {"--no-record", "不记录帧", "Keep no recording"},
            {"--alarm-column", "CSV 末尾加入报警列（当前报警的简称）",
             "Add the alarm column (the active alarms' short names) to the CSV"},
            {"--alarms FILE", "报警规则文件，按名称覆盖协议的默认规则（默认：用户的报警规则文件）",
             "Alarm rules over the protocol's defaults, by name (default: the user's alarm rules "
             "file)"},
            {"--no-alarms", "不评估报警规则", "Evaluate no alarm rules"},
            {"--language zh|en|de", "CSV 与消息的语言：zh（默认）、en 或 de",
             "Language of the CSV and the messages: zh (default), en or de"},
            {"--duration SECONDS", "运行指定秒数后结束", "End after this many seconds"},
            {"--frames N", "应答 N 帧（N 行）后结束", "End after N answered frames (N table rows)"},
            {"--no-reconnect", "端口丢失时结束（退出码 3），不重连",
             "End when the port is lost (exit code 3) instead of reconnecting"},
            {"--quiet", "不输出每 10 秒的状态行", "No status line every 10 seconds"},
            {"--mqtt URL", "发布到 MQTT 代理：mqtt://[用户[:密码]@]主机[:端口]，或 mqtts://（TLS）",
             "Publish to an MQTT broker: mqtt://[user[:password]@]host[:port], or mqtts:// (TLS)"},
            {"--mqtt-ca FILE", "mqtts:// 所信任的 CA 证书文件（默认：系统的证书）",
             "CA certificate file to trust for mqtts:// (default: the system's certificates)"},
            {"--mqtt-prefix PREFIX",
             "主题前缀（默认 cellscribe）：<前缀>/<电池包>/state、/status、/alarm",
             "Topic prefix (default cellscribe): <prefix>/<pack>/state, /status, /alarm"},
            {"--pack-id ID", "主题与 Home Assistant 中的电池包标识（默认：取自端口的序列号或名称）",
             "The pack's ID in topics and in Home Assistant (default: from the port's serial "
             "number or name)"},
            {"--mqtt-qos 0|1", "状态消息的 QoS（默认 0）", "QoS of the state messages (default 0)"},
            {"--mqtt-every SECONDS", "最多每隔这么多秒发布一条状态消息（默认 0：每帧）",
             "Publish at most one state message per this many seconds (default 0: every frame)"},
            {"--mqtt-ha-remove", "从 Home Assistant 移除该电池包的传感器后结束（不采集）",
             "Remove the pack's sensors from Home Assistant, then end (no acquisition)"},
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
    text += QStringLiteral("  ")
            + say(l, "4 MQTT 代理无法连接（使用 --mqtt-ha-remove 时）",
                  "4 the MQTT broker could not be reached (with --mqtt-ha-remove)")
            + QLatin1Char('\n');
    return text;
}

} // namespace

bool RecorderOptions::isRecordingFile(const QString &path)
{
    const QFileInfo info(path);
    return !info.isDir() && info.suffix().compare(QLatin1String("csrec"), Qt::CaseInsensitive) == 0;
}

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
    const QCommandLineOption record(QStringLiteral("record"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"));
    const QCommandLineOption language(QStringLiteral("language"), QString(), QStringLiteral("L"));
    const QCommandLineOption alarmColumn(QStringLiteral("alarm-column"));
    const QCommandLineOption alarms(QStringLiteral("alarms"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption noAlarms(QStringLiteral("no-alarms"));
    const QCommandLineOption duration(QStringLiteral("duration"), QString(), QStringLiteral("S"));
    const QCommandLineOption frames(QStringLiteral("frames"), QString(), QStringLiteral("N"));
    const QCommandLineOption noReconnect(QStringLiteral("no-reconnect"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption mqtt(QStringLiteral("mqtt"), QString(), QStringLiteral("URL"));
    const QCommandLineOption mqttCa(QStringLiteral("mqtt-ca"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption mqttPrefix(QStringLiteral("mqtt-prefix"), QString(),
                                        QStringLiteral("PREFIX"));
    const QCommandLineOption packId(QStringLiteral("pack-id"), QString(), QStringLiteral("ID"));
    const QCommandLineOption mqttQos(QStringLiteral("mqtt-qos"), QString(), QStringLiteral("Q"));
    const QCommandLineOption mqttEvery(QStringLiteral("mqtt-every"), QString(),
                                       QStringLiteral("S"));
    const QCommandLineOption mqttHaRemove(QStringLiteral("mqtt-ha-remove"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({port,      protocol,     command,  baud,   interval,    csv,    record,
                       noRecord,  language,     duration, frames, noReconnect, quiet,  alarmColumn,
                       alarms,    noAlarms,     mqtt,     mqttCa, mqttPrefix,  packId, mqttQos,
                       mqttEvery, mqttHaRemove, help,     version});

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
    // Removing a pack from Home Assistant needs no port when its id is given.
    const bool portless = parser.isSet(mqttHaRemove) && parser.isSet(packId);
    if (options->port.isEmpty() && !portless)
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
    if (parser.isSet(record) && parser.isSet(noRecord))
        return fail(say(l, "--record 与 --no-record 不能同时使用",
                        "--record and --no-record exclude each other"));
    options->record = !parser.isSet(noRecord);
    options->recordPath = parser.value(record);
    if (parser.isSet(record) && options->recordPath.isEmpty())
        return fail(say(l, "缺少 --record 的文件或目录", "--record needs a file or directory"));
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
    options->csvAlarmColumn = parser.isSet(alarmColumn);
    options->alarms = !parser.isSet(noAlarms);
    options->alarmsPath = parser.value(alarms);
    if (parser.isSet(alarms) && !options->alarms)
        return fail(say(l, "--alarms 与 --no-alarms 不能同时使用",
                        "--alarms and --no-alarms exclude each other"));
    if (parser.isSet(alarms) && !QFileInfo(options->alarmsPath).isFile())
        return fail(say(l, "报警规则文件 %1 不存在", "alarm rules file %1 does not exist")
                            .arg(options->alarmsPath));
    options->reconnect = !parser.isSet(noReconnect);
    options->quiet = parser.isSet(quiet);

    // Publishing to MQTT.
    const QList<const QCommandLineOption *> mqttOnly{&mqttCa,  &mqttPrefix, &packId,
                                                     &mqttQos, &mqttEvery,  &mqttHaRemove};
    if (!parser.isSet(mqtt)) {
        for (const QCommandLineOption *option : mqttOnly) {
            if (parser.isSet(*option))
                return fail(say(l, "%1 需要 --mqtt", "%1 needs --mqtt")
                                    .arg(QLatin1String("--") + option->names().constFirst()));
        }
        return Outcome::Run;
    }
#ifdef CELLSCRIBE_HAVE_MQTT
    QString why;
    const MqttUrl url = MqttUrl::parse(parser.value(mqtt), &why);
    if (!url.isValid())
        return fail(say(l, "--mqtt 地址无效：%1", "invalid --mqtt URL: %1").arg(why));
    options->mqttUrl = parser.value(mqtt).trimmed();
    options->mqttCaFile = parser.value(mqttCa);
    if (!options->mqttCaFile.isEmpty() && !url.tls())
        return fail(say(l, "MQTT 无法启动：%1", "MQTT cannot start: %1")
                            .arg(QStringLiteral("--mqtt-ca is only used with mqtts://")));
    if (parser.isSet(mqttPrefix)) {
        options->mqttPrefix = parser.value(mqttPrefix);
        if (!MqttTopics::isValidPrefix(options->mqttPrefix, &why))
            return fail(say(l, "--mqtt-prefix 无效：%1", "invalid --mqtt-prefix: %1").arg(why));
    }
    options->packId = parser.value(packId);
    if (parser.isSet(packId) && !MqttTopics::isValidPackId(options->packId))
        return fail(say(l, "--pack-id 取 1 到 64 个字母、数字、_ 或 -，而不是 %1",
                        "--pack-id takes 1 to 64 letters, digits, _ or -, not %1")
                            .arg(options->packId));
    if (parser.isSet(mqttQos)) {
        const QString qos = parser.value(mqttQos);
        if (qos != QLatin1String("0") && qos != QLatin1String("1"))
            return fail(say(l, "--mqtt-qos 取 0 或 1，而不是 %1", "--mqtt-qos takes 0 or 1, not %1")
                                .arg(qos));
        options->mqttQos = qos.toInt();
    }
    if (parser.isSet(mqttEvery)) {
        bool ok = false;
        const double seconds = parser.value(mqttEvery).toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > 86400)
            return fail(say(l, "--mqtt-every 取 0 或更多秒，而不是 %1",
                            "--mqtt-every takes 0 or more seconds, not %1")
                                .arg(parser.value(mqttEvery)));
        options->mqttEverySeconds = seconds;
    }
    options->mqttHaRemove = parser.isSet(mqttHaRemove);
    return Outcome::Run;
#else
    return fail(say(l, "此版本不支持 MQTT（构建时未找到 libmosquitto）",
                    "this build has no MQTT support (libmosquitto was not found when it was "
                    "built)"));
#endif
}
