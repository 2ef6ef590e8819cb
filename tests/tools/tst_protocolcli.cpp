#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString toolPath()
{
#ifdef Q_OS_WIN
    return QDir(QStringLiteral(CELLSCRIBE_RUNTIME_DIR)).filePath("cellscribe-protocol.exe");
#else
    return QDir(QStringLiteral(CELLSCRIBE_RUNTIME_DIR)).filePath("cellscribe-protocol");
#endif
}

Run runTool(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(toolPath(), args);
    Run r;
    if (!p.waitForStarted())
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : out.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(QJsonDocument::fromJson(line).object());
    }
    return lines;
}

const char kStatusFrame[] =
        ":01C212003D0CE50CE90CE20CEE0CE60CE30CE80CEA0CE40CE10CE70CEC0CE50CE60CE40CE9028A02990280"
        "028F000004E2222E271027105861007B01A464F002000504~";
const char kVersionFrame[] = ":01C71200080301050135295910CD~";
const char kLiteFrame[] =
        ":02B021001D0D160D140D170D150D180D130D160D153F4000200000019C01F452F001CA~";

QString samplePath(const char *file)
{
    return QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(QString::fromLatin1(file));
}

} // namespace

class TestProtocolCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sampleProtocolsCheckClean_data();
    void sampleProtocolsCheckClean();
    void sampleRequests_data();
    void sampleRequests();
    void brokenFileRefused_data();
    void brokenFileRefused();
    void loadWarningsReported();
    void decodeArguments();
    void decodeStdinKeepsStore();
    void decodeSmallProtocol();
    void documentedExampleWorks();
    void decodeStream();
    void csvFromStream_data();
    void csvFromStream();
    void csvUnwritableFails();
    void checkDirectory_data();
    void checkDirectory();
    void checkDirectoryListsAsTheApplication_data();
    void checkDirectoryListsAsTheApplication();
    void alarmsChecked_data();
    void alarmsChecked();

private:
    QString writeFile(const QString &name, const QByteArray &content);
    QTemporaryDir m_dir;
};

void TestProtocolCli::initTestCase()
{
    QVERIFY2(QFile::exists(toolPath()), qPrintable(toolPath()));
    QVERIFY(m_dir.isValid());
}

QString TestProtocolCli::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
    return path;
}

void TestProtocolCli::sampleProtocolsCheckClean_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
    QVERIFY(files.size() >= 2);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

void TestProtocolCli::sampleProtocolsCheckClean()
{
    QFETCH(QString, path);
    const Run r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QVERIFY(!o.isEmpty());
    QCOMPARE(o.value("warnings").toArray(), QJsonArray());
    QVERIFY(!o.value("name").toString().isEmpty());
    QVERIFY(!o.value("version").toString().isEmpty());
    QVERIFY(!o.value("columns").toArray().isEmpty());
    // The default command can be polled.
    bool defaultHasRequest = false;
    for (const QJsonValue &c : o.value("commands").toArray()) {
        const QJsonObject cmd = c.toObject();
        if (cmd.value("name") == o.value("defaultCommand"))
            defaultHasRequest = !cmd.value("request").toString().isEmpty();
    }
    QVERIFY(defaultHasRequest);
}

void TestProtocolCli::sampleRequests_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("segments");

    QTest::newRow("16S status") << samplePath("cs-16s.json") << "pack_status"
                                << "42"
                                << ":014212000101B3~" << 32;
    QTest::newRow("16S version") << samplePath("cs-16s.json") << "pack_version"
                                 << "47"
                                 << ":014712000010~" << 4;
    QTest::newRow("8S raw") << samplePath("cs-8s.json") << "basic"
                            << "30"
                            << ":023021000017~" << 16;
}

void TestProtocolCli::sampleRequests()
{
    QFETCH(QString, path);
    QFETCH(QString, command);
    QFETCH(QString, code);
    QFETCH(QString, request);
    QFETCH(int, segments);

    const Run r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.exitCode, 0);
    const QJsonArray commands = QJsonDocument::fromJson(r.out).object().value("commands").toArray();
    QJsonObject found;
    for (const QJsonValue &c : commands) {
        if (c.toObject().value("name").toString() == command)
            found = c.toObject();
    }
    QVERIFY(!found.isEmpty());
    QCOMPARE(found.value("code").toString(), code);
    QCOMPARE(found.value("hasRequest").toBool(), true);
    QCOMPARE(found.value("request").toString(), request);
    QCOMPARE(found.value("segments").toInt(), segments);
}

void TestProtocolCli::brokenFileRefused_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the file does not exist
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << QByteArray() << "Cannot open config file";
    QTest::newRow("not JSON") << QByteArray("{\"protocol\": ") << "Invalid JSON format";
    QTest::newRow("top level array") << QByteArray("[1]") << "Invalid JSON format";
    QTest::newRow("no protocol") << QByteArray("{\"proto\": {}}") << "Missing 'protocol' section";
    QTest::newRow("numeric version")
            << QByteArray(R"({"protocol": {"name": "x", "version": 1}})") << "version";
    QTest::newRow("no named command") << QByteArray(
            R"({"protocol": {"name": "x", "version": "1", "commands": [{"code": "42"}]}})")
                                      << "command";
    QTest::newRow("empty table mapping")
            << QByteArray(R"({"protocol": {"name": "x", "version": "1", "tableMapping": {}}})")
            << "column";
}

void TestProtocolCli::brokenFileRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    const QString path = content.isEmpty() ? m_dir.filePath(QStringLiteral("absent.json"))
                                           : writeFile(QStringLiteral("broken.json"), content);
    const Run r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromUtf8(r.err).trimmed();
    QVERIFY2(!err.isEmpty(), "no reason given");
    QVERIFY2(err.contains(reason, Qt::CaseInsensitive), qPrintable(err));
    // The reason line is the last line.
    QVERIFY2(err.split('\n').last().contains(reason, Qt::CaseInsensitive), qPrintable(err));
}

void TestProtocolCli::loadWarningsReported()
{
    const QString path = writeFile(QStringLiteral("warn.json"), R"({"protocol": {
        "name": "w", "version": "1", "defaultCommand": "nope", "frame": {},
        "commands": [
          {"name": "a", "code": "10", "request": {"addr": "01", "ver": "10", "payload": "ABC"}},
          {"name": "a", "code": "11"}
        ],
        "tableMapping": {"columns": [{"header": "h", "field": "f"}]}}})");
    const Run r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QJsonArray warnings = o.value("warnings").toArray();
    QCOMPARE(warnings.size(), 3);
    QVERIFY(warnings.at(0).toString().contains("Payload hex length must be even"));
    QVERIFY(warnings.at(1).toString().contains("Duplicate command name"));
    QVERIFY(warnings.at(2).toString().contains("Default command"));
    QCOMPARE(o.value("defaultCommand").toString(), QStringLiteral("a"));
    // Payload refused: the request carries no payload and length 0000.
    QCOMPARE(o.value("commands").toArray().at(0).toObject().value("request").toString(),
             QStringLiteral(":01101000001C~"));
}

void TestProtocolCli::decodeArguments()
{
    const Run r = runTool({QStringLiteral("decode"), samplePath("cs-16s.json"),
                           QString::fromLatin1(kStatusFrame)});
    QCOMPARE(r.exitCode, 0);
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), 1);
    const QJsonObject &line = lines.first();
    QCOMPARE(line.value("frame").toString(), QString::fromLatin1(kStatusFrame));
    QCOMPARE(line.value("command").toString(), QStringLiteral("pack_status"));
    const QJsonObject v = line.value("values").toObject();
    QVERIFY(!v.contains("timestamp"));
    QCOMPARE(v.value("Vcell4").toDouble(), 3310.0);
    QCOMPARE(v.value("data_number").toInt(), 16);
    QCOMPARE(v.value("data_maxv").toDouble(), 3310.0);
    QCOMPARE(v.value("data_minv").toDouble(), 3297.0);
    QCOMPARE(v.value("voltage_diff").toDouble(), 13.0);
    QVERIFY(qAbs(v.value("data_totalv").toDouble() - 52.841) < 1e-9);
    QVERIFY(qAbs(v.value("Temp2").toDouble() - 26.5) < 1e-9);
    QCOMPARE(v.value("DsgCur").toDouble(), 12500.0);
    QCOMPARE(v.value("data_current").toDouble(), 12.5);
    QCOMPARE(v.value("current_status").toString(), QStringLiteral("放电"));
    QCOMPARE(v.value("remain_cap").toDouble(), 87.5);
    QCOMPARE(v.value("soc_percent").toString(), QStringLiteral("87.5"));
    QCOMPARE(v.value("WorkState").toDouble(), double(0xF002));
    QCOMPARE(v.value("workStateValue").toString(), QStringLiteral("放电"));
    QCOMPARE(v.value("ProtocolVersion").toString(), QStringLiteral("12"));
    QCOMPARE(v.value("time_left").toDouble(), 420.0);
}

void TestProtocolCli::decodeStdinKeepsStore()
{
    const QByteArray input =
            QByteArray(kStatusFrame) + "\r\n\n" + kVersionFrame + "\n:01D1120000AA~\n";
    const Run r = runTool({QStringLiteral("decode"), samplePath("cs-16s.json")}, input);
    QCOMPARE(r.exitCode, 2); // the last frame answers no command
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0).value("command").toString(), QStringLiteral("pack_status"));

    const QJsonObject second = lines.at(1).value("values").toObject();
    QCOMPARE(lines.at(1).value("command").toString(), QStringLiteral("pack_version"));
    QCOMPARE(second.value("serial_number").toDouble(), 20261209.0);
    QCOMPARE(second.value("sw_version").toDouble(), double(0x0105));
    // Figures still come from the earlier status frame; its segments are not repeated.
    QCOMPARE(second.value("data_number").toInt(), 16);
    QCOMPARE(second.value("current_status").toString(), QStringLiteral("放电"));
    QVERIFY(!second.contains("Vcell1"));

    QVERIFY(lines.at(2).value("command").isNull());
    QCOMPARE(lines.at(2).value("values").toObject(), QJsonObject());
    QCOMPARE(lines.at(2).value("frame").toString(), QStringLiteral(":01D1120000AA~"));
}

void TestProtocolCli::decodeSmallProtocol()
{
    const Run r =
            runTool({QStringLiteral("decode"), QStringLiteral("--quiet"), samplePath("cs-8s.json"),
                     QString::fromLatin1(kLiteFrame), QString::fromLatin1(kStatusFrame)});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.isEmpty());
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), 2);
    const QJsonObject v = lines.at(0).value("values").toObject();
    QCOMPARE(lines.at(0).value("command").toString(), QStringLiteral("basic"));
    QCOMPARE(v.value("data_cellcount").toInt(), 8);
    QVERIFY(qAbs(v.value("data_totalv").toDouble() - 26.796) < 1e-9);
    QCOMPARE(v.value("Temp1").toDouble(), 23.0);
    QCOMPARE(v.value("current_status").toString(), QStringLiteral("充电"));
    QVERIFY(qAbs(v.value("data_current").toDouble() - 3.2) < 1e-9);
    QCOMPARE(v.value("soc_percent").toString(), QStringLiteral("82.4"));
    QCOMPARE(v.value("workStateValue").toString(), QStringLiteral("充电"));
    QCOMPARE(v.value("ProtocolVersion").toString(), QStringLiteral("21"));
    QVERIFY(lines.at(1).value("command").isNull());
}

void TestProtocolCli::documentedExampleWorks()
{
    QFile doc(QStringLiteral(CELLSCRIBE_SOURCE_DIR "/docs/protocol-format.md"));
    QVERIFY(doc.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(doc.readAll());
    const qsizetype section = text.indexOf(QStringLiteral("## Complete example"));
    QVERIFY(section >= 0);
    const qsizetype begin = text.indexOf(QStringLiteral("```json\n"), section);
    QVERIFY(begin >= 0);
    const qsizetype end = text.indexOf(QStringLiteral("\n```"), begin + 8);
    QVERIFY(end > begin);
    const QString path = writeFile(QStringLiteral("example.json"),
                                   text.mid(begin + 8, end - begin - 8).toUtf8());

    const Run check = runTool({QStringLiteral("check"), path});
    QCOMPARE(check.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(check.out).object();
    QCOMPARE(o.value("warnings").toArray(), QJsonArray());
    const QJsonArray commands = o.value("commands").toArray();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0).toObject().value("request").toString(), ":014210000017~");
    QCOMPARE(commands.at(1).toObject().value("request").toString(), ":01A01000000C~");

    const Run decode =
            runTool({QStringLiteral("decode"), path,
                     QStringLiteral(":01C21000140CE50CE20CE90CE4410000009611A813885AF0025E~")});
    QCOMPARE(decode.exitCode, 0);
    const QJsonObject v = jsonLines(decode.out).value(0).value("values").toObject();
    QCOMPARE(v.value("data_cellcount").toInt(), 4);
    QVERIFY(qAbs(v.value("data_totalv").toDouble() - 13.204) < 1e-9);
    QCOMPARE(v.value("data_current").toDouble(), 1.5);
    QCOMPARE(v.value("soc_percent").toString(), QStringLiteral("90.4"));
    QCOMPARE(v.value("Temp1").toDouble(), 25.0);
}

void TestProtocolCli::decodeStream()
{
    // Noise before the first start mark, a control byte inside a frame, two frames back to back
    // without line ends, and a large frame split by nothing in particular.
    QByteArray input = "\x05garbage";
    input += QByteArray(kVersionFrame).insert(8, '\x00');
    input += QByteArray(kStatusFrame) + kVersionFrame + "\r\n:01C2";
    const Run r = runTool({QStringLiteral("decode"), QStringLiteral("--quiet"),
                           samplePath("cs-16s.json"), QStringLiteral("--stream")},
                          input);
    QCOMPARE(r.exitCode, 0);
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), 3); // the incomplete tail is not a frame
    QCOMPARE(lines.at(0).value("frame").toString(), QString::fromLatin1(kVersionFrame));
    QCOMPARE(lines.at(0).value("command").toString(), QStringLiteral("pack_version"));
    QCOMPARE(lines.at(1).value("command").toString(), QStringLiteral("pack_status"));
    QCOMPARE(lines.at(2).value("values").toObject().value("data_number").toInt(), 16);

    const Run bad = runTool({QStringLiteral("decode"), samplePath("cs-16s.json"),
                             QStringLiteral("--stream"), QString::fromLatin1(kVersionFrame)});
    QCOMPARE(bad.exitCode, 1);
}

void TestProtocolCli::csvFromStream_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("status");

    QTest::newRow("zh") << QStringLiteral("zh") << QStringLiteral("\"日期\",\"时间\",\"状态\"")
                        << QStringLiteral("正在放电");
    QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("\"Date\",\"Time\",\"Status\"")
                        << QStringLiteral("Discharging...");
    QTest::newRow("de") << QStringLiteral("de") << QStringLiteral("\"Datum\",\"Zeit\",\"Status\"")
                        << QStringLiteral("Wird entladen...");
}

void TestProtocolCli::csvFromStream()
{
    QFETCH(QString, language);
    QFETCH(QString, header);
    QFETCH(QString, status);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString csv = dir.filePath(QStringLiteral("capture.csv"));
    // Every accepted frame is a row, whichever command it answers; noise is not.
    const QByteArray input =
            QByteArray("noise") + kStatusFrame + "\r\n" + kVersionFrame + kStatusFrame + ":01C2";
    const Run r = runTool({QStringLiteral("decode"), QStringLiteral("--quiet"),
                           samplePath("cs-16s.json"), QStringLiteral("--stream"),
                           QStringLiteral("--csv"), csv, QStringLiteral("--language"), language},
                          input);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(jsonLines(r.out).size(), 3);

    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(!bytes.contains('\r'));
    const QStringList lines =
            QString::fromUtf8(bytes.mid(3)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(0).startsWith(header), qPrintable(lines.at(0)));
    const int columns = int(lines.at(0).count(QStringLiteral("\",\"")));
    for (const QString &line : lines)
        QCOMPARE(line.count(QStringLiteral("\",\"")), columns);
    // Status column of a status frame (F002: discharging) in the chosen language.
    QCOMPARE(lines.at(1).split(QStringLiteral("\",\"")).value(2), status);
    QVERIFY2(lines.at(1).contains(QStringLiteral("\"3310\"")), qPrintable(lines.at(1)));
}

void TestProtocolCli::csvUnwritableFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A directory cannot be written as a file: the failure must not look like success.
    const Run r =
            runTool({QStringLiteral("decode"), QStringLiteral("--quiet"), samplePath("cs-16s.json"),
                     QString::fromLatin1(kStatusFrame), QStringLiteral("--csv"), dir.path()});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("cannot write"));

    const Run badLanguage = runTool({QStringLiteral("decode"), samplePath("cs-16s.json"),
                                     QString::fromLatin1(kStatusFrame), QStringLiteral("--csv"),
                                     dir.filePath(QStringLiteral("x.csv")),
                                     QStringLiteral("--language"), QStringLiteral("fr")});
    QCOMPARE(badLanguage.exitCode, 1);
}

void TestProtocolCli::checkDirectory_data()
{
    QTest::addColumn<QStringList>("files"); // sample names, or "broken.json"; empty: no argument
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<bool>>("loaded"); // per file, in name order

    // No argument: protocols/ beside the tool, as installed.
    QTest::newRow("beside the tool") << QStringList() << 0 << QList<bool>{true, true};
    QTest::newRow("both samples") << QStringList{"cs-16s.json", "cs-8s.json"} << 0
                                  << QList<bool>{true, true};
    QTest::newRow("one refused") << QStringList{"broken.json", "cs-8s.json"} << 1
                                 << QList<bool>{false, true};
    QTest::newRow("no protocol files") << QStringList{"notes.txt"} << 1 << QList<bool>{};
}

void TestProtocolCli::checkDirectory()
{
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    QFETCH(QList<bool>, loaded);

    QStringList args{QStringLiteral("check")};
    if (!files.isEmpty()) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        dir.setAutoRemove(false);
        for (const QString &file : std::as_const(files)) {
            const QString target = dir.filePath(file);
            if (file.startsWith(QLatin1String("cs-"))) {
                QVERIFY(QFile::copy(samplePath(qPrintable(file)), target));
            } else {
                QFile f(target);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("{\"protocol\": ");
            }
        }
        args << dir.path();
    }
    const Run r = runTool(args);
    if (!files.isEmpty())
        QDir(args.last()).removeRecursively();

    QCOMPARE(r.exitCode, exitCode);
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), loaded.size());
    if (loaded.isEmpty())
        QVERIFY2(r.err.contains("no protocol files"), r.err.constData());
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject &line = lines.at(i);
        QCOMPARE(line.value("ok").toBool(), loaded.at(i));
        if (loaded.at(i)) {
            QVERIFY(!line.value("name").toString().isEmpty());
            QVERIFY(line.value("commands").toInt() > 0);
            QCOMPARE(line.value("warnings").toArray(), QJsonArray());
        } else {
            QVERIFY2(line.value("error").toString().contains("Invalid JSON"),
                     qPrintable(line.value("error").toString()));
        }
    }
}

void TestProtocolCli::checkDirectoryListsAsTheApplication_data()
{
    // Files of the directory, as "name=source": a sample file, "missing" for a link to nothing,
    // "locked" for a file nobody may read, "no-version" for a CS-8S header that does not load.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("exitCode");
    // Per file in name order: "listed", "shadowed by <file>", or "refused".
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("same name twice: the later file wins")
            << QStringList{"a-copy.json=cs-16s.json", "cs-16s.json=cs-16s.json"} << 0
            << QStringList{"shadowed by cs-16s.json", "listed"};
    QTest::newRow("a link to nothing is reported")
            << QStringList{"cs-8s.json=cs-8s.json", "gone.json=missing"} << 1
            << QStringList{"listed", "refused"};
    QTest::newRow("an unreadable file is reported")
            << QStringList{"cs-8s.json=cs-8s.json", "locked.json=locked"} << 1
            << QStringList{"listed", "refused"};
    // The application lists the later file, which then fails to load: the good one is hidden.
    QTest::newRow("a broken file shadows a good one")
            << QStringList{"cs-8s.json=cs-8s.json", "z-8s.json=no-version"} << 1
            << QStringList{"shadowed by z-8s.json", "listed, refused"};
}

void TestProtocolCli::checkDirectoryListsAsTheApplication()
{
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &entry : std::as_const(files)) {
        const QString name = entry.section(u'=', 0, 0);
        const QString source = entry.section(u'=', 1);
        const QString target = dir.filePath(name);
        if (source == QLatin1String("missing")) {
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere/x.json")), target));
        } else if (source == QLatin1String("no-version")) {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"protocol": {"name": "CS-8S", "commands": []}})");
        } else if (source == QLatin1String("locked")) {
            QVERIFY(QFile::copy(samplePath("cs-8s.json"), target));
            QVERIFY(QFile::setPermissions(target, QFileDevice::Permissions()));
            QFile probe(target);
            if (probe.open(QIODevice::ReadOnly))
                QSKIP("this user reads files without read permission (root)");
        } else {
            QVERIFY(QFile::copy(samplePath(qPrintable(source)), target));
        }
    }

    const Run r = runTool({QStringLiteral("check"), dir.path()});
    QCOMPARE(r.exitCode, exitCode);
    const QList<QJsonObject> lines = jsonLines(r.out);
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QJsonObject &line = lines.at(i);
        const QString file = QFileInfo(line.value("file").toString()).fileName();
        QCOMPARE(file, files.at(i).section(u'=', 0, 0));
        const QString want = expected.at(i);
        QCOMPARE(line.value("listed").toBool(), want.startsWith(QLatin1String("listed")));
        QCOMPARE(line.value("ok").toBool(), !want.contains(QLatin1String("refused")));
        if (want.startsWith(QLatin1String("shadowed by "))) {
            const QString winner = want.mid(12);
            QCOMPARE(QFileInfo(line.value("shadowedBy").toString()).fileName(), winner);
            // Said as a warning, naming the file that wins.
            const QJsonArray warnings = line.value("warnings").toArray();
            QVERIFY(!warnings.isEmpty());
            QVERIFY2(warnings.last().toString().contains(winner),
                     qPrintable(warnings.last().toString()));
        } else {
            QVERIFY(!line.contains("shadowedBy"));
        }
        if (want == QLatin1String("refused"))
            QVERIFY2(!line.value("error").toString().isEmpty(), qPrintable(file));
    }
    // The winner names what it hides.
    for (const QJsonObject &line : lines) {
        if (!line.contains("shadowedBy"))
            continue;
        const QString winner = line.value("shadowedBy").toString();
        bool named = false;
        for (const QJsonObject &other : lines) {
            if (other.value("file").toString() == winner)
                named = other.value("shadows").toArray().contains(line.value("file"));
        }
        QVERIFY2(named, qPrintable(winner));
    }
}

void TestProtocolCli::alarmsChecked_data()
{
    QTest::addColumn<QByteArray>("alarms");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("accepted");
    QTest::addColumn<QStringList>("reasons");

    QTest::newRow("none") << QByteArray() << 0 << QStringList() << QStringList();
    QTest::newRow("good rules") << QByteArray(R"([{"name": "hot", "value": "T", "high": 50},
                             {"name": "cells", "value": "Vcell*", "low": 2800},
                             {"name": "spread", "value": "voltage_diff", "high": 100}])")
                                << 0 << QStringList{"hot", "cells", "spread"} << QStringList();
    QTest::newRow("bad rules beside good ones")
            << QByteArray(R"([{"name": "hot", "value": "T", "high": 50, "low": 60},
                             {"name": "cold", "value": "T", "low": 0},
                             {"name": "typo", "value": "Tmp", "low": 0},
                             {"name": "slow", "value": "T", "low": 0, "delaySeconds": -1}])")
            << 1 << QStringList{"cold"}
            << QStringList{"Rule hot: Low limit above high limit",
                           "Rule slow: Delay must not be negative",
                           "Rule typo: Unknown value: Tmp"};
    QTest::newRow("not an array") << QByteArray(R"({"name": "x"})") << 1 << QStringList()
                                  << QStringList{"Alarm rules must be an array"};
}

void TestProtocolCli::alarmsChecked()
{
    QFETCH(QByteArray, alarms);
    QFETCH(int, exitCode);
    QFETCH(QStringList, accepted);
    QFETCH(QStringList, reasons);

    QByteArray content = R"({"protocol": {"name": "a", "version": "1",
        "frame": {"SOI": ":", "EOI": "~"},
        "commands": [{"name": "c", "code": "42", "request": {"addr": "01", "ver": "10"},
            "response": {"dataSegments": [{"name": "Vcell1", "length": 4, "scale": 1},
                                          {"name": "T", "length": 2, "scale": 1}]}}],)";
    if (!alarms.isEmpty())
        content += R"("alarms": )" + alarms + ",";
    content += R"("tableMapping": {"columns": [{"header": "h", "field": "T"}]}}})";
    const QString path = writeFile(QStringLiteral("alarms.json"), content);
    const Run r = runTool({QStringLiteral("check"), path});
    QCOMPARE(r.exitCode, exitCode);
    // The model is printed either way, with the rules that were taken.
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QVERIFY(!o.isEmpty());
    QStringList names;
    for (const QJsonValue &rule : o.value("alarms").toArray())
        names.append(rule.toObject().value("name").toString());
    QCOMPARE(names, accepted);
    const QString err = QString::fromUtf8(r.err);
    for (const QString &reason : std::as_const(reasons))
        QVERIFY2(err.contains(reason), qPrintable(err));
    QCOMPARE(o.value("alarmProblems").toArray().size(), reasons.size());
}

QTEST_GUILESS_MAIN(TestProtocolCli)
#include "tst_protocolcli.moc"
