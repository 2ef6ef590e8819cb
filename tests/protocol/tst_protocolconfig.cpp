#include "protocol/protocolconfig.h"
#include "protocoltestfiles.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QByteArray kHeader = R"("name": " Test BMS ", "version": " 1.0 ")";
}

class TestProtocolConfig : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileCount = 0;

    QString write(const QByteArray &text)
    {
        return writeTextFile(m_dir.path(), QStringLiteral("p%1.json").arg(++m_fileCount), text);
    }

    // Loads a protocol whose members follow the standard name and version.
    bool load(ProtocolConfig &config, const QByteArray &members)
    {
        return config.loadConfig(write(protocolDocument(kHeader + ", " + members)));
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("signalled");
        QTest::addColumn<int>("unnamed"); // commands skipped for want of a name

        QTest::newRow("not json") << QByteArray("{\"protocol\": ") << "Invalid JSON format" << true
                                  << 0;
        QTest::newRow("top level array")
                << QByteArray("[{}]") << "Invalid JSON format" << true << 0;
        QTest::newRow("no protocol key") << QByteArray(R"({"name": "x", "version": "1"})")
                                         << "Missing 'protocol' section" << true << 0;
        QTest::newRow("blank name") << protocolDocument(R"("name": "   ", "version": "1")")
                                    << "Protocol name is empty" << false << 0;
        QTest::newRow("protocol not an object")
                << QByteArray(R"({"protocol": "Test"})") << "Protocol name is empty" << false << 0;
        QTest::newRow("version as number") << protocolDocument(R"("name": "T", "version": 1.0)")
                                           << "Protocol version is empty" << false << 0;
        QTest::newRow("empty commands") << protocolDocument(kHeader + R"(, "commands": [])")
                                        << "No usable command in 'commands'" << false << 0;
        QTest::newRow("commands without usable entry")
                << protocolDocument(kHeader + R"(, "commands": [1, "x", {"name": "  "}, {}])")
                << "No usable command in 'commands'" << false << 2;
        QTest::newRow("empty tableMapping") << protocolDocument(kHeader + R"(, "tableMapping": {})")
                                            << "No table column in 'tableMapping'" << false << 0;
        QTest::newRow("columns not usable")
                << protocolDocument(kHeader + R"(, "tableMapping": {"columns": [1, "a"]})")
                << "No table column in 'tableMapping'" << false << 0;
    }

    void failures()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, error);
        QFETCH(bool, signalled);

        ProtocolConfig config;
        QSignalSpy errors(&config, &ProtocolConfig::configError);
        QSignalSpy loaded(&config, &ProtocolConfig::configLoaded);
        for (int i = fetched<int>("unnamed"); i > 0; --i)
            QTest::ignoreMessage(QtWarningMsg, "Command definition missing name; skip entry");
        QVERIFY(!config.loadConfig(write(document)));
        QCOMPARE(config.lastError(), error);
        QCOMPARE(errors.size(), signalled ? 1 : 0);
        if (signalled)
            QCOMPARE(errors.at(0).at(0).toString(), error);
        QCOMPARE(loaded.size(), 0);
    }

    void missingFile()
    {
        ProtocolConfig config;
        QSignalSpy errors(&config, &ProtocolConfig::configError);
        const QString path = m_dir.filePath(QStringLiteral("absent.json"));
        QVERIFY(!config.loadConfig(path));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Cannot open config file: ") + path);
        QCOMPARE(config.lastError(), errors.at(0).at(0).toString());
    }

    void minimalProtocolLoads()
    {
        ProtocolConfig config;
        QSignalSpy loaded(&config, &ProtocolConfig::configLoaded);
        QVERIFY(load(config, R"("defaultCommand": " nowhere ")"));
        QCOMPARE(loaded.size(), 1);
        QVERIFY(config.lastError().isEmpty());
        QCOMPARE(config.name(), QStringLiteral("Test BMS"));
        QCOMPARE(config.version(), QStringLiteral("1.0"));
        // Without a frame object the marks stay empty; without commands the default stays as read.
        QVERIFY(config.soi().isEmpty());
        QVERIFY(config.eoi().isEmpty());
        QVERIFY(config.encoding().isEmpty());
        QVERIFY(config.commandNames().isEmpty());
        QCOMPARE(config.defaultCommand(), QStringLiteral("nowhere"));
        QVERIFY(config.tableColumns().isEmpty());
    }

    void frameMarks_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("soi");
        QTest::addColumn<QString>("eoi");
        QTest::addColumn<QString>("encoding");

        QTest::newRow("defaults") << QByteArray("{}") << ":"
                                  << "~"
                                  << "ASCII_HEX";
        QTest::newRow("not strings")
                << QByteArray(R"({"SOI": 1, "EOI": null, "encoding": []})") << ":"
                << "~"
                << "ASCII_HEX";
        QTest::newRow("kept untrimmed")
                << QByteArray(R"({"SOI": " ## ", "EOI": "", "encoding": "x"})") << " ## "
                << ""
                << "x";
        QTest::newRow("frame not an object") << QByteArray("\"::\"") << ""
                                             << ""
                                             << "";
    }

    void frameMarks()
    {
        QFETCH(QByteArray, frame);
        ProtocolConfig config;
        QVERIFY(load(config, "\"frame\": " + frame));
        QCOMPARE(config.soi(), fetched<QString>("soi"));
        QCOMPARE(config.eoi(), fetched<QString>("eoi"));
        QCOMPARE(config.encoding(), fetched<QString>("encoding"));
    }

    void requestFields_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("len");
        QTest::addColumn<QString>("payload");
        QTest::addColumn<bool>("hasRequest");
        QTest::addColumn<QString>("warning");

        const QByteArray fields = R"("addr": " 0a ", "cmd": "42", "ver": "10")";
        QTest::newRow("one digit len") << fields + R"(, "len": "7")"
                                       << ""
                                       << "07"
                                       << "" << true << "";
        QTest::newRow("lower-case len") << fields + R"(, "len": " a ")"
                                        << ""
                                        << "0A"
                                        << "" << true << "";
        QTest::newRow("len with prefix") << fields + R"(, "len": "0x02")"
                                         << ""
                                         << ""
                                         << "" << true << "Invalid length hex in command";
        QTest::newRow("payload normalised") << fields + R"(, "payload": " 0a0b ")"
                                            << ""
                                            << ""
                                            << "0A0B" << true << "";
        QTest::newRow("odd payload") << fields + R"(, "payload": "ABC")"
                                     << ""
                                     << ""
                                     << "" << true << "Payload hex length must be even in command";
        QTest::newRow("non-hex payload") << fields + R"(, "payload": "0G")"
                                         << ""
                                         << ""
                                         << "" << true << "Invalid payload hex in command";
        QTest::newRow("data short is length") << fields + R"(, "data": "5")"
                                              << ""
                                              << "05"
                                              << "" << true << "";
        QTest::newRow("data four digits is length") << fields + R"(, "data": "0a0b")"
                                                    << ""
                                                    << "0A0B"
                                                    << "" << true << "";
        QTest::newRow("data long is payload") << fields + R"(, "data": "0A0B0C")"
                                              << ""
                                              << ""
                                              << "0A0B0C" << true << "";
        QTest::newRow("empty len key takes data") << fields + R"(, "len": "", "data": "0A0B0C")"
                                                  << ""
                                                  << "0A0B0C"
                                                  << "" << true << "";
        QTest::newRow("length set, data is payload")
                << fields + R"(, "len": "0004", "data": "0A0B")"
                << ""
                << "0004"
                << "0A0B" << true << "";
        QTest::newRow("both set, data ignored")
                << fields + R"(, "len": "02", "payload": "AABB", "data": "CC")"
                << ""
                << "02"
                << "AABB" << true << "";
        QTest::newRow("payload key, short data is payload")
                << fields + R"(, "payload": "", "data": "12")"
                << ""
                << ""
                << "12" << true << "";
        QTest::newRow("payload set, short data is length")
                << fields + R"(, "payload": "0A0B", "data": "12")"
                << ""
                << "12"
                << "0A0B" << true << "";
        QTest::newRow("payload set, long data ignored")
                << fields + R"(, "payload": "0A0B", "data": "AABBCC")"
                << ""
                << ""
                << "0A0B" << true << "";
        QTest::newRow("code stands in for cmd")
                << QByteArray(R"("addr": "01", "ver": "10")") << " 4a "
                << ""
                << "" << true << "";
        QTest::newRow("no cmd and no code") << QByteArray(R"("addr": "01", "ver": "10")") << ""
                                            << ""
                                            << "" << false << "";
        QTest::newRow("address as number")
                << QByteArray(R"("addr": 1, "cmd": "42", "ver": "10")") << ""
                << ""
                << "" << false << "";
        QTest::newRow("empty raw hides fields") << fields + R"(, "raw": "  ")"
                                                << ""
                                                << ""
                                                << "" << false << "";
    }

    void requestFields()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, code);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QRegularExpression::escape(warning)));

        ProtocolConfig config;
        QVERIFY(load(config,
                     "\"commands\": [{\"name\": \"c\", \"code\": \"" + code.toUtf8()
                             + "\", \"request\": {" + request + "}}]"));
        const CommandDefinition cmd = config.command(QStringLiteral("c"));
        QCOMPARE(cmd.code, code.trimmed().toUpper());
        QFETCH(QString, len);
        QFETCH(QString, payload);
        QCOMPARE(cmd.len, len);
        QCOMPARE(cmd.hasLength, !len.isEmpty());
        QCOMPARE(cmd.payload, payload);
        QCOMPARE(cmd.hasPayload, !payload.isEmpty());
        QCOMPARE(cmd.hasRequest, fetched<bool>("hasRequest"));
        QCOMPARE(config.commandHasRequest(QStringLiteral("c")), cmd.hasRequest);
    }

    void rawRequest()
    {
        ProtocolConfig config;
        QVERIFY(load(config, R"("commands": [{"name": "r", "request":
                {"raw": "  :01abc\u00b0~ ", "addr": "01", "cmd": "02", "ver": "03", "len": "2"}}])"));
        const CommandDefinition cmd = config.command(QStringLiteral("r"));
        QVERIFY(cmd.hasRequest);
        QCOMPARE(cmd.raw, QString::fromUtf8(":01abc\u00b0~"));
        // The raw text alone defines the request: the other keys are not read.
        QVERIFY(cmd.addr.isEmpty());
        QVERIFY(!cmd.hasLength);
    }

    void duplicateNames()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Duplicate command name.*A"));
        QTest::ignoreMessage(QtWarningMsg, "Command definition missing name; skip entry");
        ProtocolConfig config;
        QVERIFY(load(config, R"("commands": [{"name": "A", "code": "01"},
                                              {"name": " A ", "code": "02"},
                                              {"code": "03"}])"));
        QCOMPARE(config.commandNames(), QStringList{"A"});
        QCOMPARE(config.command(QStringLiteral("A")).code, QStringLiteral("01"));
    }

    void commandOrderAndLookup()
    {
        const QByteArray req = R"("request": {"addr": "01", "cmd": "02", "ver": "03"})";
        ProtocolConfig config;
        QVERIFY(load(config,
                     R"("commands": [{"name": "b", )" + req + R"(}, {"name": "a"},
                                              {"name": "B", )"
                             + req + "}]"));
        QCOMPARE(config.commandNames(), (QStringList{"B", "a", "b"}));
        QCOMPARE(config.requestCommandNames(), (QStringList{"B", "b"}));
        QVERIFY(!config.commandHasRequest(QStringLiteral("A")));
        QVERIFY(!config.commandHasRequest(QStringLiteral("a")));
        QVERIFY(config.dataSegments(QStringLiteral("x")).isEmpty());
        QVERIFY(config.command(QStringLiteral("x")).name.isEmpty());
    }

    void defaultCommand_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<bool>("warned");

        const QByteArray req = R"("request": {"addr": "01", "cmd": "02", "ver": "03"})";
        const QByteArray twoWithRequest = R"([{"name": "Z", )" + req + R"(}, {"name": "M"},
                                              {"name": "A", )"
                + req + "}]";
        QTest::newRow("usable default stays") << twoWithRequest << " A "
                                              << "A" << false;
        QTest::newRow("default without request") << twoWithRequest << "M"
                                                 << "Z" << true;
        QTest::newRow("default missing") << twoWithRequest << "Q"
                                         << "Z" << true;
        QTest::newRow("no default, first with request in file order") << twoWithRequest << ""
                                                                      << "Z" << false;
        QTest::newRow("none with request: smallest name")
                << QByteArray(R"([{"name": "y"}, {"name": "X"}])") << "y"
                << "X" << true;
    }

    void defaultCommand()
    {
        QFETCH(QByteArray, commands);
        QFETCH(QString, requested);
        if (fetched<bool>("warned"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("Default command.*using fallback"));
        ProtocolConfig config;
        QVERIFY(load(config,
                     "\"defaultCommand\": \"" + requested.toUtf8()
                             + "\", \"commands\": " + commands));
        QCOMPARE(config.defaultCommand(), fetched<QString>("resolved"));
    }

    void segments_data()
    {
        QTest::addColumn<QByteArray>("segment");
        QTest::addColumn<int>("length");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("offset");

        QTest::newRow("plain") << QByteArray(R"("length": 4, "scale": 0.001, "offset": -40)") << 4
                               << 0.001 << -40.0;
        QTest::newRow("whole number as real")
                << QByteArray(R"("length": 4.0, "scale": 1)") << 4 << 1.0 << 0.0;
        QTest::newRow("fraction") << QByteArray(R"("length": 4.5)") << 0 << 0.0 << 0.0;
        QTest::newRow("text numbers")
                << QByteArray(R"("length": "4", "scale": "0.1", "offset": "1")") << 0 << 0.0 << 0.0;
        QTest::newRow("beyond 32 bits") << QByteArray(R"("length": 3000000000)") << 0 << 0.0 << 0.0;
        QTest::newRow("no scale") << QByteArray(R"("length": 2)") << 2 << 0.0 << 0.0;
        QTest::newRow("negative length")
                << QByteArray(R"("length": -4, "scale": 1)") << 0 << 1.0 << 0.0;
    }

    void segments()
    {
        QFETCH(QByteArray, segment);
        if (QByteArray(QTest::currentDataTag()) == "negative length")
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("Negative segment length in command.*s.*0"));
        ProtocolConfig config;
        QVERIFY(load(config,
                     R"("commands": [{"name": "c", "response": {"dataSegments":
                [7, {"name": " s ", "unit": "V", "type": "voltage", "uiField": "f", )"
                             + segment + "}]}}]"));
        const QList<DataSegment> segs = config.dataSegments(QStringLiteral("c"));
        QCOMPARE(segs.size(), 1);
        QCOMPARE(segs[0].name, QStringLiteral("s"));
        QCOMPARE(segs[0].length, fetched<int>("length"));
        QCOMPARE(segs[0].scale, fetched<double>("scale"));
        QCOMPARE(segs[0].offset, fetched<double>("offset"));
        QCOMPARE(segs[0].unit, QStringLiteral("V"));
        QCOMPARE(segs[0].type, QStringLiteral("voltage"));
        QCOMPARE(segs[0].uiField, QStringLiteral("f"));
    }

    void tableColumns()
    {
        ProtocolConfig config;
        QVERIFY(load(config, R"("tableMapping": {"columns": [
                {"header": "Time", "field": "t", "width": 120, "type": "time", "dataField": "ts",
                 "format": "hh:mm"},
                "skipped",
                {"header": "Frac", "width": 100.5},
                {"header": "Text", "width": "100"},
                {"header": "None"}]})"));
        const QList<TableColumn> cols = config.tableColumns();
        QCOMPARE(cols.size(), 4);
        QCOMPARE(cols[0].header, QStringLiteral("Time"));
        QCOMPARE(cols[0].field, QStringLiteral("t"));
        QCOMPARE(cols[0].width, 120);
        QCOMPARE(cols[0].type, QStringLiteral("time"));
        QCOMPARE(cols[0].dataField, QStringLiteral("ts"));
        QCOMPARE(cols[0].format, QStringLiteral("hh:mm"));
        QCOMPARE(cols[1].width, 80);
        QCOMPARE(cols[2].width, 80);
        QCOMPARE(cols[3].header, QStringLiteral("None"));
        QCOMPARE(cols[3].width, 80);
    }

    void calculations()
    {
        ProtocolConfig config;
        QVERIFY(load(config, R"("dataProcessing": {
                "voltageCalculations": {"zMax": {"source": ["V1", 2, "V2"], "operation": "max",
                                                 "uiField": "f"},
                                        "aMin": {"source": "V1", "operation": "min"},
                                        "skip": 3},
                "otherCalculations": []})"));
        const QList<Calculation> volts = config.voltageCalculations();
        QCOMPARE(volts.size(), 2);
        QCOMPARE(volts[0].name, QStringLiteral("aMin"));
        QVERIFY(volts[0].source.isEmpty());
        QCOMPARE(volts[0].operation, QStringLiteral("min"));
        QCOMPARE(volts[1].name, QStringLiteral("zMax"));
        QCOMPARE(volts[1].source, (QStringList{"V1", "", "V2"}));
        QCOMPARE(volts[1].uiField, QStringLiteral("f"));
        QVERIFY(config.temperatureCalculations().isEmpty());
        QVERIFY(config.otherCalculations().isEmpty());
    }

    void longestResponse_data()
    {
        QTest::addColumn<QByteArray>("members");
        QTest::addColumn<qsizetype>("length");

        // Marks, address, command, version and length (10), data, two checksum characters.
        QTest::newRow("longest of two commands") << QByteArray(R"("frame": {}, "commands": [
                    {"name": "a", "response": {"dataSegments": [{"length": 4}, {"length": 2}]}},
                    {"name": "b", "response": {"dataSegments": [{"length": 1200}]}}])")
                                                 << qsizetype(1 + 10 + 1200 + 2 + 1);
        QTest::newRow("long marks") << QByteArray(R"("frame": {"SOI": "<<", "EOI": ">>>"},
                    "commands": [{"name": "a", "response": {"dataSegments": [{"length": 8}]}}])")
                                    << qsizetype(2 + 10 + 8 + 2 + 3);
        QTest::newRow("no segments, no marks")
                << QByteArray(R"("commands": [{"name": "a"}])") << qsizetype(10 + 2);
        // The length field has four hex digits: no answer carries more than FFFF bytes of data.
        QTest::newRow("more than a frame can declare") << QByteArray(
                R"("frame": {}, "commands": [{"name": "a", "response": {"dataSegments":
                    [{"length": 2000000000}, {"length": 2000000000}]}}])")
                                                       << qsizetype(1 + 10 + 2 * 0xFFFF + 2 + 1);
    }

    void longestResponse()
    {
        QFETCH(QByteArray, members);
        ProtocolConfig config;
        QVERIFY(load(config, members));
        QCOMPARE(config.longestResponseLength(), fetched<qsizetype>("length"));
    }

    void secondLoadReplacesModel()
    {
        ProtocolConfig config;
        QVERIFY(load(config, R"("frame": {"SOI": "!"},
                                "commands": [{"name": "a"}],
                                "tableMapping": {"columns": [{"header": "h"}]})"));
        QVERIFY(config.loadConfig(write(protocolDocument(
                R"("name": "Other", "version": "2", "commands": [{"name": "b"}])"))));
        QCOMPARE(config.name(), QStringLiteral("Other"));
        QCOMPARE(config.commandNames(), QStringList{"b"});
        QCOMPARE(config.defaultCommand(), QStringLiteral("b"));
        QVERIFY(config.tableColumns().isEmpty());
        // Marks are only replaced by a file that has a frame object.
        QCOMPARE(config.soi(), QStringLiteral("!"));
    }
};

QTEST_GUILESS_MAIN(TestProtocolConfig)
#include "tst_protocolconfig.moc"
