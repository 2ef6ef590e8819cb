// cellscribe-protocol: checks protocol files and decodes response frames with them, through the
// same loader, parser and value processing as the application.

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmrulefile.h"
#include "datalog/csvwriter.h"
#include "datalog/rdmodel.h"
#include "i18n/translations.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "protocol/protocolmanager.h"
#include "recording/recordingcommands.h"
#include "serial/frameassembler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <cerrno>
#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

enum ExitCode { ExitOk = 0, ExitFailure = 1, ExitUnmatchedFrame = 2 };

QtMessageHandler g_previousHandler = nullptr;
QStringList *g_capturedWarnings = nullptr;
bool g_quiet = false;

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && g_capturedWarnings) {
        g_capturedWarnings->append(message);
        return;
    }
    if (g_quiet && type != QtFatalMsg)
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// Collects the warning lines written while it lives; everything else passes through.
class WarningCapture
{
public:
    explicit WarningCapture(QStringList *sink) { g_capturedWarnings = sink; }
    ~WarningCapture() { g_capturedWarnings = nullptr; }
    WarningCapture(const WarningCapture &) = delete;
    WarningCapture &operator=(const WarningCapture &) = delete;
};

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool loadOrExplain(ProtocolConfig &config, const QString &path)
{
    if (config.loadConfig(path))
        return true;
    const QString reason = config.lastError().isEmpty()
            ? QStringLiteral("Failed to load protocol file: %1").arg(path)
            : config.lastError();
    err() << reason.simplified() << Qt::endl;
    return false;
}

// Loads one protocol file and describes its model; false (with the reasons in *failure) when
// the file is refused.
bool describeProtocol(const QString &path, QJsonObject *model, QStringList *failure)
{
    ProtocolConfig config;
    QStringList warnings;
    bool loaded = false;
    {
        WarningCapture capture(&warnings);
        loaded = config.loadConfig(path);
    }
    if (!loaded) {
        // The load's own warnings explain a failure too (e.g. every command skipped).
        *failure = warnings;
        failure->append(config.lastError().isEmpty()
                                ? QStringLiteral("Failed to load protocol file: %1").arg(path)
                                : config.lastError().simplified());
        return false;
    }

    QJsonArray commands;
    const QStringList names = config.commandNames();
    for (const QString &name : names) {
        const CommandDefinition cmd = config.command(name);
        const QString request =
                cmd.hasRequest ? QString::fromUtf8(config.buildRequestFrame(name)) : QString();
        commands.append(QJsonObject{
                {QStringLiteral("name"), name},
                {QStringLiteral("code"), cmd.code},
                {QStringLiteral("hasRequest"), cmd.hasRequest},
                {QStringLiteral("request"), request},
                {QStringLiteral("segments"), int(cmd.dataSegments.size())},
        });
    }

    QJsonArray columns;
    const QList<TableColumn> tableColumns = config.tableColumns();
    for (const TableColumn &column : tableColumns) {
        columns.append(QJsonObject{
                {QStringLiteral("header"), column.header},
                {QStringLiteral("field"), column.field},
                {QStringLiteral("type"), column.type},
                {QStringLiteral("dataField"), column.dataField},
                {QStringLiteral("format"), column.format},
        });
    }

    // The default alarm rules, checked against the values this protocol's frames carry.
    const AlarmRuleList defaults = AlarmRuleFile::readProtocolDefaults(path);
    const AlarmRuleList checked = AlarmCatalogue::fromProtocol(config).check(defaults.rules);
    QJsonArray alarmProblems;
    for (const AlarmProblem &problem : defaults.problems + checked.problems)
        alarmProblems.append(QString(QStringLiteral("alarms: ") + problem.text(English)));

    *model = QJsonObject{
            {QStringLiteral("name"), config.name()},
            {QStringLiteral("version"), config.version()},
            {QStringLiteral("defaultCommand"), config.defaultCommand()},
            {QStringLiteral("soi"), config.soi()},
            {QStringLiteral("eoi"), config.eoi()},
            {QStringLiteral("commands"), commands},
            {QStringLiteral("columns"), columns},
            {QStringLiteral("alarms"), AlarmRuleFile::toJson(checked.rules)},
            {QStringLiteral("alarmProblems"), alarmProblems},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(warnings)},
    };
    return true;
}

int runCheckFile(const QString &path)
{
    QJsonObject model;
    QStringList failure;
    if (!describeProtocol(path, &model, &failure)) {
        for (const QString &line : std::as_const(failure))
            err() << line << Qt::endl;
        return ExitFailure;
    }
    out() << QString::fromUtf8(QJsonDocument(model).toJson(QJsonDocument::Indented));
    out().flush();
    // Refused alarm rules do not stop the application from loading the file, but its author
    // wants to know.
    const QJsonArray alarmProblems = model.value(QStringLiteral("alarmProblems")).toArray();
    for (const QJsonValue &problem : alarmProblems)
        err() << problem.toString() << Qt::endl;
    return alarmProblems.isEmpty() ? ExitOk : ExitFailure;
}

// Checks every protocol file in dirPath and says what the application's protocol list would hold:
// one JSON line per file, in the order the application scans them. Of two files declaring the same
// protocol name the application lists the later one only; both lines say so.
int runCheckDirectory(const QString &dirPath)
{
    const QDir dir(dirPath);
    // Links to nothing and special files the scan passes over, but a user may take for files.
    const QStringList entries =
            dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::System, QDir::Name);
    if (entries.isEmpty()) {
        err() << "no protocol files (*.json) in " << QDir::toNativeSeparators(dirPath) << Qt::endl;
        return ExitFailure;
    }
    const QStringList scanned = ProtocolManager::protocolFiles(dirPath);

    // The catalogue as the scan builds it: protocol name to the file that wins.
    QHash<QString, QString> headerName; // file to the name its header declares
    QHash<QString, QString> listedFile;
    QHash<QString, QString> headerError;
    for (const QString &path : scanned) {
        ProtocolInfo info;
        QString error;
        if (ProtocolManager::readProtocolInfo(path, &info, &error)) {
            headerName.insert(path, info.name);
            listedFile.insert(info.name, path);
        } else {
            headerError.insert(path, error);
        }
    }
    QHash<QString, QStringList> shadowed; // winner to the files it hides
    for (const QString &path : scanned) {
        const auto name = headerName.constFind(path);
        if (name != headerName.constEnd() && listedFile.value(*name) != path)
            shadowed[listedFile.value(*name)].append(path);
    }

    bool allLoaded = true;
    for (const QString &file : entries) {
        const QString path = dir.filePath(file);
        QJsonObject line{{QStringLiteral("file"), QDir::toNativeSeparators(path)}};
        const bool visited = scanned.contains(path);
        const QString name = headerName.value(path);
        const bool listed = visited && !name.isEmpty() && listedFile.value(name) == path;
        line.insert(QStringLiteral("listed"), listed);

        QJsonObject model;
        QStringList failure;
        QJsonArray warnings;
        if (!visited) {
            failure << QStringLiteral("Cannot open protocol file: %1 (not a regular file)")
                               .arg(QDir::toNativeSeparators(path));
        } else if (describeProtocol(path, &model, &failure)) {
            line.insert(QStringLiteral("name"), model.value(QStringLiteral("name")));
            line.insert(QStringLiteral("version"), model.value(QStringLiteral("version")));
            line.insert(QStringLiteral("commands"),
                        model.value(QStringLiteral("commands")).toArray().size());
            line.insert(QStringLiteral("columns"),
                        model.value(QStringLiteral("columns")).toArray().size());
            line.insert(QStringLiteral("alarms"),
                        model.value(QStringLiteral("alarms")).toArray().size());
            const QJsonArray alarmProblems = model.value(QStringLiteral("alarmProblems")).toArray();
            if (!alarmProblems.isEmpty()) {
                line.insert(QStringLiteral("alarmProblems"), alarmProblems);
                allLoaded = false;
            }
            warnings = model.value(QStringLiteral("warnings")).toArray();
        }
        if (visited && !name.isEmpty() && !listed) {
            const QString winner = QDir::toNativeSeparators(listedFile.value(name));
            line.insert(QStringLiteral("shadowedBy"), winner);
            warnings.append(QStringLiteral("protocol name \"%1\" is also declared by %2, which "
                                           "the application lists instead of this file")
                                    .arg(name, winner));
        }
        if (listed && shadowed.contains(path)) {
            QStringList hidden;
            for (const QString &other : shadowed.value(path))
                hidden.append(QDir::toNativeSeparators(other));
            line.insert(QStringLiteral("shadows"), QJsonArray::fromStringList(hidden));
            warnings.append(QStringLiteral("protocol name \"%1\" is also declared by %2, which "
                                           "the application does not list")
                                    .arg(name, hidden.join(QStringLiteral(", "))));
        }
        if (!visited || !failure.isEmpty()) {
            allLoaded = false;
            line.insert(QStringLiteral("ok"), false);
            if (!headerError.value(path).isEmpty() && failure.isEmpty())
                failure << headerError.value(path);
            line.insert(QStringLiteral("error"), failure.join(QLatin1Char('\n')));
        } else {
            line.insert(QStringLiteral("ok"), true);
        }
        line.insert(QStringLiteral("warnings"), warnings);
        out() << QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) << Qt::endl;
    }
    return allLoaded ? ExitOk : ExitFailure;
}

// What the application scans: protocols/ beside the executable.
QString installedProtocolsDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/protocols");
}

int runCheck(const QString &path)
{
    if (QFileInfo(path).isDir())
        return runCheckDirectory(path);
    return runCheckFile(path);
}

// Where decoded frames also go as table rows, written as CSV at the end of the run.
struct CsvTarget
{
    QString path;
    int language = Chinese;
};

// Writes the table with the one-shot export, all columns visible; false (with the reason on
// stderr) when the file could not be written.
bool writeCsv(const RDModel &table, const CsvTarget &target)
{
    const CsvWriteResult result =
            CsvWriter::exportToFile(&table, CsvWriter::allColumns(&table), target.path);
    if (!result.ok)
        err() << "cannot write " << target.path << ": " << result.error << Qt::endl;
    return result.ok;
}

void prepareTable(RDModel &table, ProtocolConfig *config, const CsvTarget &target)
{
    table.setProtocolConfig(config);
    const int language = target.language;
    if (language != Chinese)
        table.setTranslator(
                [language](const QString &text) { return translateWithUnit(language, text); });
}

// Decodes frames one by one against one value store, as the application does.
class Decoder
{
public:
    Decoder(ProtocolConfig *config, const CsvTarget *csv) : m_csv(csv)
    {
        m_frame.setProtocolConfig(config);
        m_processor.setProtocolConfig(config);
        m_processor.setProtocolFrame(&m_frame);
        if (csv)
            prepareTable(m_table, config, *csv);
    }

    // Writes the CSV file, when asked for; false when it could not be written.
    bool finish() { return !m_csv || writeCsv(m_table, *m_csv); }

    // Writes one JSON line; false when no command accepted the frame.
    bool decode(const QString &frameText)
    {
        QString commandName;
        const bool matched = m_processor.resolveCommandForFrame(frameText, commandName);
        QJsonObject line{{QStringLiteral("frame"), frameText}};
        if (matched) {
            // The JSON output has no time stamp; table rows get the decoding time, as the
            // application stamps them with the receive time.
            const QString receiveTime = m_csv
                    ? QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                    : QStringLiteral("-");
            QVariantHash values = m_processor.processFrameValues(
                    commandName, m_frame.parsedValues(), receiveTime);
            if (m_csv)
                m_table.appendDataRow(values);
            values.remove(QStringLiteral("timestamp"));
            line.insert(QStringLiteral("command"), commandName);
            line.insert(QStringLiteral("values"), QJsonObject::fromVariantHash(values));
        } else {
            line.insert(QStringLiteral("command"), QJsonValue::Null);
            line.insert(QStringLiteral("values"), QJsonObject());
        }
        out() << QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) << Qt::endl;
        return matched;
    }

private:
    ProtocolFrame m_frame;
    DataProcessor m_processor;
    RDModel m_table;
    const CsvTarget *m_csv = nullptr;
};

// Reads whatever stdin has right now (blocking until some bytes or end of input), so that frames
// from a live capture are decoded as they arrive. Returns 0 at end of input, -1 on error.
qsizetype readStdin(char *buffer, qsizetype size)
{
    for (;;) {
#ifdef Q_OS_WIN
        const int n = ::_read(0, buffer, unsigned(qMin<qsizetype>(size, 1 << 20)));
#else
        const ssize_t n = ::read(STDIN_FILENO, buffer, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
#endif
        return n;
    }
}

int runStream(const QString &path, const CsvTarget *csv)
{
    ProtocolConfig config;
    if (!loadOrExplain(config, path))
        return ExitFailure;

#ifdef Q_OS_WIN
    // Raw bytes: no CR/LF translation, no end of input at Ctrl-Z.
    ::_setmode(::_fileno(stdin), _O_BINARY);
#endif
    Decoder decoder(&config, csv);
    FrameAssembler assembler;
    assembler.setBufferLimit(2 * config.longestResponseLength());
    bool allMatched = true;
    QByteArray buffer(4096, Qt::Uninitialized);
    QString frame;
    for (;;) {
        const qsizetype n = readStdin(buffer.data(), buffer.size());
        if (n < 0) {
            err() << "cannot read stdin" << Qt::endl;
            return ExitFailure;
        }
        if (n == 0)
            break;
        assembler.append(QByteArrayView(buffer.constData(), n));
        while (assembler.takeFrame(frame)) {
            if (!decoder.decode(frame))
                allMatched = false;
        }
        assembler.trim();
    }
    if (!decoder.finish())
        return ExitFailure;
    return allMatched ? ExitOk : ExitUnmatchedFrame;
}

int runDecode(const QString &path, const QStringList &frames, const CsvTarget *csv)
{
    ProtocolConfig config;
    if (!loadOrExplain(config, path))
        return ExitFailure;
    Decoder decoder(&config, csv);
    bool allMatched = true;
    auto decodeOne = [&](const QString &text) {
        const QString frame = text.trimmed();
        if (frame.isEmpty())
            return;
        if (!decoder.decode(frame))
            allMatched = false;
    };

    if (!frames.isEmpty()) {
        for (const QString &frame : frames)
            decodeOne(frame);
    } else {
        QTextStream in(stdin);
        QString line;
        while (in.readLineInto(&line))
            decodeOne(line);
    }
    if (!decoder.finish())
        return ExitFailure;
    return allMatched ? ExitOk : ExitUnmatchedFrame;
}

// replay and info: the work is done by the recording module.
int runRecordingCommand(const QCommandLineParser &parser, const QStringList &args,
                        const QString &protocolFile)
{
    const QString command = args.value(0);
    if (args.size() != 2) {
        err() << "usage: cellscribe-protocol " << command
              << (command == QLatin1String("replay")
                          ? " FILE.csrec [--protocol FILE] [--csv OUT] [--language zh|en|de]"
                          : " FILE.csrec")
              << Qt::endl;
        return ExitFailure;
    }
    const bool languageSet = parser.isSet(QStringLiteral("language"));
    if (command == QLatin1String("info")) {
        if (!protocolFile.isEmpty() || parser.isSet(QStringLiteral("csv")) || languageSet) {
            err() << "info takes no options" << Qt::endl;
            return ExitFailure;
        }
        return RecordingCommands::info(args.at(1), out(), err());
    }
    RecordingCommands::ReplayOptions options;
    options.recording = args.at(1);
    options.protocolFile = protocolFile;
    options.csvPath = parser.value(QStringLiteral("csv"));
    const QString language = parser.value(QStringLiteral("language"));
    static const QStringList languages{QStringLiteral("zh"), QStringLiteral("en"),
                                       QStringLiteral("de")};
    options.language = int(languages.indexOf(language));
    if (options.language < 0) {
        err() << "--language takes zh, en or de, not " << language << Qt::endl;
        return ExitFailure;
    }
    if (languageSet && options.csvPath.isEmpty()) {
        err() << "--language goes with --csv" << Qt::endl;
        return ExitFailure;
    }
    return RecordingCommands::replay(options, out(), err());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cellscribe-protocol"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CELLSCRIBE_VERSION));
    g_previousHandler = qInstallMessageHandler(messageHandler);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Checks Cellscribe protocol files and decodes response frames with them.\n\n"
            "  check FILE              load FILE; print its model as JSON (exit 1 when the\n"
            "                          file is refused or one of its default alarm rules\n"
            "                          is, with the reasons on stderr)\n"
            "  check [DIR]             check every *.json in DIR (default: the protocols/\n"
            "                          beside this program, which the application uses);\n"
            "                          one JSON line per file, exit 1 when any is refused\n"
            "  decode FILE [FRAME...]  decode each FRAME (or each line of stdin) and print\n"
            "                          one JSON line per frame; exit 2 when a frame matched\n"
            "                          no command\n"
            "  decode FILE --stream    read raw received bytes on stdin, cut frames from\n"
            "                          ':' to '~' as the serial link does, decode each\n"
            "  decode ... --csv OUT    also write the decoded frames as the application's\n"
            "                          real-time table (CSV, all columns)\n"
            "  replay REC [--protocol FILE] [--csv OUT] [--language L]\n"
            "                          decode every frame received in the recording REC\n"
            "                          again (with its stored protocol, or FILE) and write\n"
            "                          the window's table with the recorded times; prints a\n"
            "                          summary as JSON\n"
            "  info REC                the recording's start, end, port, protocol and counts\n"
            "                          as JSON"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption quietOption(
            {QStringLiteral("q"), QStringLiteral("quiet")},
            QStringLiteral("Do not write log lines (parser warnings) to stderr."));
    parser.addOption(quietOption);
    const QCommandLineOption streamOption(
            QStringLiteral("stream"),
            QStringLiteral("decode: stdin is a raw byte stream, framed like the serial link."));
    parser.addOption(streamOption);
    const QCommandLineOption csvOption(
            QStringLiteral("csv"),
            QStringLiteral("decode: also write the decoded frames as table rows to <file>."),
            QStringLiteral("file"));
    parser.addOption(csvOption);
    const QCommandLineOption languageOption(
            QStringLiteral("language"),
            QStringLiteral("--csv: language of headers and texts, zh (default), en or de."),
            QStringLiteral("zh|en|de"), QStringLiteral("zh"));
    parser.addOption(languageOption);
    const QCommandLineOption protocolOption(
            QStringLiteral("protocol"),
            QStringLiteral("replay: decode with this protocol file instead of the stored one."),
            QStringLiteral("file"));
    parser.addOption(protocolOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("check or decode"));
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("protocol JSON file (check: or a directory)"));
    parser.addPositionalArgument(QStringLiteral("frames"),
                                 QStringLiteral("response frames to decode"),
                                 QStringLiteral("[frames...]"));
    parser.process(app);
    g_quiet = parser.isSet(quietOption);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (command == QLatin1String("replay") || command == QLatin1String("info"))
        return runRecordingCommand(parser, args,
                                   parser.isSet(protocolOption) ? parser.value(protocolOption)
                                                                : QString());
    if (parser.isSet(protocolOption)) {
        err() << "--protocol goes with replay" << Qt::endl;
        return ExitFailure;
    }
    if (command == QLatin1String("check")) {
        if (args.size() > 2) {
            err() << "check takes one FILE or DIR" << Qt::endl;
            return ExitFailure;
        }
        return runCheck(args.size() == 2 ? args.at(1) : installedProtocolsDir());
    }
    if (args.size() < 2 || command != QLatin1String("decode")) {
        err() << "usage: cellscribe-protocol check [FILE|DIR] | decode FILE [FRAME...] | decode "
                 "FILE --stream"
              << Qt::endl;
        return ExitFailure;
    }
    CsvTarget csvTarget;
    const CsvTarget *csv = nullptr;
    if (parser.isSet(csvOption)) {
        const QString language = parser.value(languageOption);
        static const QStringList languages{QStringLiteral("zh"), QStringLiteral("en"),
                                           QStringLiteral("de")};
        csvTarget.language = int(languages.indexOf(language));
        if (csvTarget.language < 0) {
            err() << "--language takes zh, en or de, not " << language << Qt::endl;
            return ExitFailure;
        }
        csvTarget.path = parser.value(csvOption);
        csv = &csvTarget;
    } else if (parser.isSet(languageOption)) {
        err() << "--language goes with --csv" << Qt::endl;
        return ExitFailure;
    }
    if (parser.isSet(streamOption)) {
        if (args.size() > 2) {
            err() << "--stream reads frames from stdin only" << Qt::endl;
            return ExitFailure;
        }
        return runStream(args.at(1), csv);
    }
    return runDecode(args.at(1), args.mid(2), csv);
}
