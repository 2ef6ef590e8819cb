#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A response frame around a data section; the checksum characters are not verified.
QString responseFrame(const QString &addr, const QString &cmd, const QString &ver,
                      const QString &data)
{
    const QString body = addr + cmd + ver
            + QStringLiteral("%1").arg(data.size() / 2, 4, 16, QLatin1Char('0')).toUpper() + data;
    return QLatin1Char(':') + body + QString::fromLatin1(ProtocolConfig::checksum(body.toUtf8()))
            + QLatin1Char('~');
}

QString hex4(int v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QVariantMap store(std::initializer_list<std::pair<const char *, QVariant>> entries)
{
    QVariantMap m;
    for (const auto &e : entries)
        m.insert(QString::fromUtf8(e.first), e.second);
    return m;
}

} // namespace

// A protocol file loaded and wired to a parser and a processor, as the window wires them.
struct Pipeline
{
    explicit Pipeline(const QString &path) : loaded(config.loadConfig(path))
    {
        frame.setProtocolConfig(&config);
        processor.setProtocolConfig(&config);
        processor.setProtocolFrame(&frame);
    }
    ProtocolConfig config;
    bool loaded;
    ProtocolFrame frame;
    DataProcessor processor;
};

class TestDataProcessor : public QObject
{
    Q_OBJECT

private slots:
    void cellFigures_data();
    void cellFigures();
    void currentFigures_data();
    void currentFigures();
    void capacityFigures_data();
    void capacityFigures();
    void temperatureFigures_data();
    void temperatureFigures();
    void workState_data();
    void workState();
    void alwaysWrittenKeys();
    void timestampFallsBackToNow();
    void versionAndBalanceCopied();

    void resolveWithoutConfig();
    void resolveFirstMatchingNameWins();
    void resolveNoMatch();
    void segmentValuesOfAnsweredCommandOnly();
    void timestampSegmentKept();
    void derivedKeyOverwritesSegment();
    void valuesSpreadOverTwoCommands();
    void segmentsFollowCommandAndReload();
    void sampleProtocolFrame();

private:
    bool writeProtocol(const QString &json);
    QTemporaryDir m_dir;
    QString m_path;
};

void TestDataProcessor::cellFigures_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<QVariant>("maxv");
    QTest::addColumn<QVariant>("minv");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("totalv");
    QTest::addColumn<QVariant>("diff");

    QTest::newRow("zero channel ignored")
            << store({{"Vcell1", 3300.0}, {"Vcell2", 3310.0}, {"Vcell3", 0.0}}) << QVariant(3310.0)
            << QVariant(3300.0) << 2 << 6.61 << QVariant(10.0);
    QTest::newRow("window bounds included")
            << store({{"Vcell1", 1000.0}, {"Vcell16", 5000.0}}) << QVariant(5000.0)
            << QVariant(1000.0) << 2 << 6.0 << QVariant(4000.0);
    QTest::newRow("just outside window") << store({{"Vcell1", 999.9}, {"Vcell2", 5000.1}})
                                         << QVariant(0) << QVariant(0) << 0 << 0.0 << QVariant(0);
    QTest::newRow("no cells") << QVariantMap() << QVariant(0) << QVariant(0) << 0 << 0.0
                              << QVariant(0);
    QTest::newRow("decimal text counts, hex text does not")
            << store({{"Vcell1", QStringLiteral("3300")}, {"Vcell2", QStringLiteral("0CE4")}})
            << QVariant(3300.0) << QVariant(3300.0) << 1 << 3.3 << QVariant(0.0);
    QTest::newRow("Vcell17 is not a cell")
            << store({{"Vcell9", 3200.0}, {"Vcell17", 4000.0}, {"vcell1", 4000.0}})
            << QVariant(3200.0) << QVariant(3200.0) << 1 << 3.2 << QVariant(0.0);

    QVariantMap full;
    for (int n = 1; n <= 16; ++n)
        full.insert(QStringLiteral("Vcell%1").arg(n), 3200.0 + n * 10);
    QTest::newRow("sixteen cells")
            << full << QVariant(3360.0) << QVariant(3210.0) << 16 << 52.56 << QVariant(150.0);
}

void TestDataProcessor::cellFigures()
{
    QFETCH(QVariantMap, input);
    QFETCH(QVariant, maxv);
    QFETCH(QVariant, minv);
    QFETCH(int, count);
    QFETCH(double, totalv);
    QFETCH(QVariant, diff);

    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), input, QStringLiteral("t"));
    // The kind matters: no counted cell gives integer zeros, not reals.
    QCOMPARE(v.value("data_maxv").typeId(), maxv.typeId());
    QCOMPARE(v.value("data_minv").typeId(), minv.typeId());
    QCOMPARE(v.value("voltage_diff").typeId(), diff.typeId());
    QCOMPARE(v.value("data_maxv").toDouble(), maxv.toDouble());
    QCOMPARE(v.value("data_minv").toDouble(), minv.toDouble());
    QCOMPARE(v.value("voltage_diff").toDouble(), diff.toDouble());
    QCOMPARE(v.value("data_cellcount").typeId(), QMetaType::Int);
    QCOMPARE(v.value("data_cellcount").toInt(), count);
    QCOMPARE(v.value("data_number").toInt(), count);
    QCOMPARE(v.value("data_totalv").typeId(), QMetaType::Double);
    QVERIFY(qAbs(v.value("data_totalv").toDouble() - totalv) < 1e-9);
}

void TestDataProcessor::currentFigures_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<QString>("status");
    QTest::addColumn<double>("current");

    QTest::newRow("charging") << store({{"ChgCur", 1500.0}, {"DsgCur", 0.0}})
                              << QStringLiteral("充电") << 1.5;
    QTest::newRow("discharging") << store({{"ChgCur", 0.0}, {"DsgCur", 2500.0}})
                                 << QStringLiteral("放电") << 2.5;
    QTest::newRow("idle") << store({{"ChgCur", 0.0}, {"DsgCur", 0.0}}) << QStringLiteral("静止")
                          << 0.0;
    QTest::newRow("both missing") << QVariantMap() << QStringLiteral("静止") << 0.0;
    QTest::newRow("only charge present")
            << store({{"ChgCur", 800.0}}) << QStringLiteral("充电") << 0.8;
    QTest::newRow("both positive")
            << store({{"ChgCur", 100.0}, {"DsgCur", 200.0}}) << QStringLiteral("异常") << 0.2;
    QTest::newRow("negative charge")
            << store({{"ChgCur", -300.0}, {"DsgCur", 0.0}}) << QStringLiteral("异常") << 0.0;
    QTest::newRow("text reads as zero")
            << store({{"ChgCur", QStringLiteral("12G4")}, {"DsgCur", 400.0}})
            << QStringLiteral("放电") << 0.4;
}

void TestDataProcessor::currentFigures()
{
    QFETCH(QVariantMap, input);
    QFETCH(QString, status);
    QFETCH(double, current);

    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), input, QStringLiteral("t"));
    QCOMPARE(v.value("current_status").toString(), status);
    QCOMPARE(v.value("data_current").typeId(), QMetaType::Double);
    QVERIFY(qAbs(v.value("data_current").toDouble() - current) < 1e-9);
}

void TestDataProcessor::capacityFigures_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<QVariant>("socPercent"); // invalid: key must be absent

    QTest::newRow("quarter") << store({{"remain_cap", 50.0}, {"full_cap", 200.0}})
                             << QVariant(QStringLiteral("25.0"));
    QTest::newRow("one decimal") << store({{"remain_cap", 87.54}, {"full_cap", 100.0}})
                                 << QVariant(QStringLiteral("87.5"));
    QTest::newRow("full zero") << store({{"remain_cap", 50.0}, {"full_cap", 0.0}}) << QVariant();
    QTest::newRow("full negative")
            << store({{"remain_cap", 50.0}, {"full_cap", -1.0}}) << QVariant();
    QTest::newRow("remain missing") << store({{"full_cap", 200.0}}) << QVariant();
    QTest::newRow("remain not numeric")
            << store({{"remain_cap", QStringLiteral("x")}, {"full_cap", 200.0}})
            << QVariant(QStringLiteral("0.0"));
}

void TestDataProcessor::capacityFigures()
{
    QFETCH(QVariantMap, input);
    QFETCH(QVariant, socPercent);

    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), input, QStringLiteral("t"));
    QCOMPARE(v.contains("soc_percent"), socPercent.isValid());
    if (socPercent.isValid())
        QCOMPARE(v.value("soc_percent").toString(), socPercent.toString());
}

void TestDataProcessor::temperatureFigures_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<double>("maxT");
    QTest::addColumn<double>("minT");
    QTest::addColumn<double>("avgT");
    QTest::addColumn<double>("diffT");

    QTest::newRow("none") << QVariantMap() << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("four probes") << store(
            {{"Temp1", 25.0}, {"Temp2", 26.5}, {"Temp3", 24.0}, {"Temp4", 25.5}})
                                 << 26.5 << 24.0 << 25.25 << 2.5;
    QTest::newRow("negative and gap")
            << store({{"Temp1", -10.0}, {"Temp3", 5.0}}) << 5.0 << -10.0 << -2.5 << 15.0;
    QTest::newRow("text probe skipped")
            << store({{"Temp1", QStringLiteral("n/a")}, {"Temp2", 30.0}}) << 30.0 << 30.0 << 30.0
            << 0.0;
    // An unscaled reading above the old start value must still be its own minimum.
    QTest::newRow("reading above 999")
            << store({{"Temp1", 2981.0}, {"Temp2", 2991.0}}) << 2991.0 << 2981.0 << 2986.0 << 10.0;
}

void TestDataProcessor::temperatureFigures()
{
    QFETCH(QVariantMap, input);
    QFETCH(double, maxT);
    QFETCH(double, minT);
    QFETCH(double, avgT);
    QFETCH(double, diffT);

    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), input, QStringLiteral("t"));
    for (const char *key : {"data_maxtemperature", "data_mintemperature", "avg_temp", "temp_diff"})
        QCOMPARE(v.value(key).typeId(), QMetaType::Double);
    QCOMPARE(v.value("data_maxtemperature").toDouble(), maxT);
    QCOMPARE(v.value("data_mintemperature").toDouble(), minT);
    QCOMPARE(v.value("avg_temp").toDouble(), avgT);
    QCOMPARE(v.value("temp_diff").toDouble(), diffT);
}

void TestDataProcessor::workState_data()
{
    QTest::addColumn<QVariantMap>("input");
    QTest::addColumn<QString>("state");

    QTest::newRow("real A028 not in table, idle")
            << store({{"WorkState", 41000.0}}) << QStringLiteral("待机");
    QTest::newRow("real A028 not in table, net charge")
            << store({{"WorkState", 41000.0}, {"ChgCur", 100.0}}) << QStringLiteral("充电");
    QTest::newRow("lower-case text")
            << store({{"WorkState", QStringLiteral("a005")}}) << QStringLiteral("均衡中");
    QTest::newRow("0x5400 no current")
            << store({{"WorkState", double(0x5400)}, {"ChgCur", 0.0}, {"DsgCur", 0.0}})
            << QStringLiteral("放电高温保护");
    QTest::newRow("table wins over current")
            << store({{"WorkState", double(0xF001)}, {"DsgCur", 900.0}}) << QStringLiteral("充电");
    QTest::newRow("padded to four digits")
            << store({{"WorkState", 0.0}, {"DsgCur", 10.0}}) << QStringLiteral("放电");
    QTest::newRow("combined flags match nothing")
            << store({{"WorkState", double(0xA005 | 0x0002)}}) << QStringLiteral("待机");
    QTest::newRow("decimal text read as number")
            << store({{"WorkState", QStringLiteral("5400")}}) << QStringLiteral("待机");
    QTest::newRow("hex text") << store({{"WorkState", QStringLiteral("CA00")}})
                              << QStringLiteral("充放电同时低温保护");
    QTest::newRow("absent, net discharge")
            << store({{"ChgCur", 100.0}, {"DsgCur", 300.0}}) << QStringLiteral("放电");
}

void TestDataProcessor::workState()
{
    QFETCH(QVariantMap, input);
    QFETCH(QString, state);

    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), input, QStringLiteral("t"));
    QCOMPARE(v.value("workStateValue").toString(), state);
    // The raw code is copied unchanged, kind included; without one nothing is written.
    QCOMPARE(v.contains("WorkState"), input.contains("WorkState"));
    if (input.contains("WorkState"))
        QCOMPARE(v.value("WorkState"), input.value("WorkState"));
}

void TestDataProcessor::alwaysWrittenKeys()
{
    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QStringLiteral("none"), store({{"unrelated", 1.0}}),
                                                QStringLiteral("2026-01-02 03:04:05"));
    const QStringList expected{"data_maxv",           "data_minv",      "data_cellcount",
                               "data_number",         "data_totalv",    "voltage_diff",
                               "data_current",        "current_status", "data_maxtemperature",
                               "data_mintemperature", "avg_temp",       "temp_diff",
                               "workStateValue",      "timestamp"};
    for (const QString &key : expected)
        QVERIFY2(v.contains(key), qPrintable(key));
    QCOMPARE(v.size(), expected.size());
    QCOMPARE(v.value("workStateValue").toString(), QStringLiteral("待机"));
    QCOMPARE(v.value("timestamp").toString(), QStringLiteral("2026-01-02 03:04:05"));
}

void TestDataProcessor::timestampFallsBackToNow()
{
    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(), QVariantMap(), QString());
    static const QRegularExpression format(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
    QVERIFY2(format.match(v.value("timestamp").toString()).hasMatch(),
             qPrintable(v.value("timestamp").toString()));
}

void TestDataProcessor::versionAndBalanceCopied()
{
    DataProcessor p;
    const QVariantHash v = p.processFrameValues(QString(),
                                                store({{"ProtocolVersion", QStringLiteral("12")},
                                                       {"BlanceState", 5.0},
                                                       {"soc", 88.0},
                                                       {"soh", QStringLiteral("x")}}),
                                                QStringLiteral("t"));
    QCOMPARE(v.value("ProtocolVersion").toString(), QStringLiteral("12"));
    QCOMPARE(v.value("data_protocolversion").toString(), QStringLiteral("12"));
    QCOMPARE(v.value("BlanceState"), QVariant(5.0));
    QCOMPARE(v.value("soc"), QVariant(88.0));
    QCOMPARE(v.value("soh"), QVariant(QStringLiteral("x")));
}

bool TestDataProcessor::writeProtocol(const QString &json)
{
    if (!m_dir.isValid())
        return false;
    m_path = m_dir.filePath(QStringLiteral("p.json"));
    QFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(json.toUtf8());
    return true;
}

// Commands "b_cells" (code 42: Vcell1..Vcell3, timestamp, data_maxv) and "a_current"
// (code 43: ChgCur, DsgCur); "c_same" shares code 42 but sorts after "b_cells".
static const char *const kTwoCommandProtocol = R"({
  "protocol": {
    "name": "T", "version": "1",
    "frame": {"SOI": ":", "EOI": "~"},
    "commands": [
      {"name": "b_cells", "code": "42",
       "request": {"addr": "01", "ver": "10"},
       "response": {"dataSegments": [
         {"name": "Vcell1", "length": 4, "scale": 1},
         {"name": "Vcell2", "length": 4, "scale": 1},
         {"name": "Vcell3", "length": 4, "scale": 1}]}},
      {"name": "c_same", "code": "42",
       "response": {"dataSegments": [{"name": "other", "length": 4, "scale": 1}]}},
      {"name": "a_current", "code": "43",
       "response": {"dataSegments": [
         {"name": "ChgCur", "length": 4, "scale": 1},
         {"name": "DsgCur", "length": 4, "scale": 1}]}},
      {"name": "d_stamp", "code": "44",
       "response": {"dataSegments": [
         {"name": "timestamp", "length": 4, "scale": 1},
         {"name": "data_maxv", "length": 4, "scale": 1},
         {"name": "Vcell4", "length": 4, "scale": 1}]}}
    ],
    "tableMapping": {"columns": [{"header": "h", "field": "f"}]}
  }
})";

void TestDataProcessor::resolveWithoutConfig()
{
    DataProcessor p;
    ProtocolFrame frame;
    p.setProtocolFrame(&frame);
    QString name = QStringLiteral("stale");
    QTest::ignoreMessage(QtWarningMsg,
                         "resolveCommandForFrame: Config or frame not set. Config: false Frame: "
                         "true");
    QVERIFY(!p.resolveCommandForFrame(QStringLiteral(":01C2100000~"), name));
    QVERIFY(name.isEmpty());
}

void TestDataProcessor::resolveFirstMatchingNameWins()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;
    ProtocolFrame &frame = pipe.frame;

    QString name;
    const QString cells = responseFrame("01", "C2", "10", hex4(3300) + hex4(3310) + hex4(0));
    QVERIFY(p.resolveCommandForFrame(cells, name));
    QCOMPARE(name, QStringLiteral("b_cells"));
    QVERIFY(!frame.parsedValues().contains("other")); // c_same never tried

    QVERIFY(p.resolveCommandForFrame(responseFrame("01", "c3", "10", hex4(5) + hex4(0)), name));
    QCOMPARE(name, QStringLiteral("a_current"));
}

void TestDataProcessor::resolveNoMatch()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;

    // Mismatch warnings of the parser for each command, then ours.
    for (int i = 0; i < 2 * pipe.config.commandNames().size(); ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("CMD MISMATCH|does not belong"));
    QTest::ignoreMessage(QtWarningMsg, "Failed to parse frame with any available command");
    QString name = QStringLiteral("stale");
    QVERIFY(!p.resolveCommandForFrame(responseFrame("01", "D0", "10", hex4(1)), name));
    QVERIFY(name.isEmpty());
}

void TestDataProcessor::segmentValuesOfAnsweredCommandOnly()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;

    const QVariantMap s = store({{"Vcell1", 3300.0}, {"ChgCur", 7.0}, {"other", 1.0}});
    const QVariantHash v = p.processFrameValues(QStringLiteral("b_cells"), s, "t");
    QCOMPARE(v.value("Vcell1"), QVariant(3300.0));
    QVERIFY(!v.contains("ChgCur")); // another command's segment: feeds figures only
    QVERIFY(!v.contains("other"));
    QVERIFY(!v.contains("Vcell2")); // a segment the store does not hold
    QCOMPARE(v.value("current_status").toString(), QStringLiteral("充电"));
}

void TestDataProcessor::timestampSegmentKept()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;

    const QVariantHash v =
            p.processFrameValues(QStringLiteral("d_stamp"), store({{"timestamp", 1234.0}}),
                                 QStringLiteral("2026-01-02 03:04:05"));
    QCOMPARE(v.value("timestamp"), QVariant(1234.0));
}

void TestDataProcessor::derivedKeyOverwritesSegment()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;

    const QVariantHash v = p.processFrameValues(
            QStringLiteral("d_stamp"), store({{"data_maxv", 1.0}, {"Vcell4", 3456.0}}), "t");
    QCOMPARE(v.value("data_maxv"), QVariant(3456.0));
    QCOMPARE(v.value("Vcell4"), QVariant(3456.0));
}

void TestDataProcessor::valuesSpreadOverTwoCommands()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;
    ProtocolFrame &frame = pipe.frame;

    QString name;
    QVERIFY(p.resolveCommandForFrame(
            responseFrame("01", "C2", "10", hex4(3300) + hex4(3310) + hex4(0)), name));
    QVERIFY(p.resolveCommandForFrame(responseFrame("01", "C3", "11", hex4(0) + hex4(2500)), name));
    const QVariantHash afterCurrent = p.processFrameValues(name, frame.parsedValues(), "t");
    QCOMPARE(afterCurrent.value("data_cellcount").toInt(), 2);
    QCOMPARE(afterCurrent.value("current_status").toString(), QStringLiteral("放电"));
    QCOMPARE(afterCurrent.value("ProtocolVersion").toString(), QStringLiteral("11"));

    QVERIFY(p.resolveCommandForFrame(
            responseFrame("01", "C2", "10", hex4(3400) + hex4(3310) + hex4(3320)), name));
    QCOMPARE(name, QStringLiteral("b_cells"));
    const QVariantHash afterCells = p.processFrameValues(name, frame.parsedValues(), "t");
    QCOMPARE(afterCells.value("data_cellcount").toInt(), 3);
    QCOMPARE(afterCells.value("data_maxv"), QVariant(3400.0));
    QCOMPARE(afterCells.value("data_current").toDouble(), 2.5);
    QVERIFY(!afterCells.contains("DsgCur"));
}

void TestDataProcessor::segmentsFollowCommandAndReload()
{
    QVERIFY(writeProtocol(QString::fromUtf8(kTwoCommandProtocol)));
    Pipeline pipe(m_path);
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;
    const QVariantMap s =
            store({{"Vcell1", 3300.0}, {"ChgCur", 7.0}, {"other", 1.0}, {"zzz", 2.0}});

    for (int round = 0; round < 2; ++round) {
        QVariantHash v = p.processFrameValues(QStringLiteral("a_current"), s, "t");
        QVERIFY(v.contains("ChgCur"));
        QVERIFY(!v.contains("Vcell1"));
        v = p.processFrameValues(QStringLiteral("c_same"), s, "t");
        QVERIFY(v.contains("other"));
        QVERIFY(!v.contains("ChgCur"));
    }

    // The same object loaded again: same command name, other segments.
    QVERIFY(writeProtocol(QStringLiteral(R"({"protocol": {"name": "T2", "version": "1",
        "commands": [{"name": "c_same", "code": "42",
          "response": {"dataSegments": [{"name": "zzz", "length": 2, "scale": 1}]}}],
        "tableMapping": {"columns": [{"header": "h", "field": "f"}]}}})")));
    QVERIFY(pipe.config.loadConfig(m_path));
    const QVariantHash v = p.processFrameValues(QStringLiteral("c_same"), s, "t");
    QVERIFY(v.contains("zzz"));
    QVERIFY(!v.contains("other"));

    // No protocol: no segment values, figures still there.
    DataProcessor bare;
    const QVariantHash b = bare.processFrameValues(QStringLiteral("c_same"), s, "t");
    QVERIFY(!b.contains("zzz"));
    QCOMPARE(b.value("data_cellcount").toInt(), 1);
}

void TestDataProcessor::sampleProtocolFrame()
{
    Pipeline pipe(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json"));
    QVERIFY(pipe.loaded);
    DataProcessor &p = pipe.processor;
    ProtocolFrame &frame = pipe.frame;

    const QString response = QStringLiteral(
            ":01C212003D0CE50CE90CE20CEE0CE60CE30CE80CEA0CE40CE10CE70CEC0CE50CE60CE40CE9028A"
            "02990280028F000004E2222E271027105861007B01A464F002000504~");
    QString name;
    QVERIFY(p.resolveCommandForFrame(response, name));
    QCOMPARE(name, QStringLiteral("pack_status"));
    const QVariantHash v = p.processFrameValues(name, frame.parsedValues(), "t");
    QCOMPARE(v.value("data_number").toInt(), 16);
    QCOMPARE(v.value("data_maxv").toDouble(), 3310.0);
    QCOMPARE(v.value("data_minv").toDouble(), 3297.0);
    QVERIFY(qAbs(v.value("data_totalv").toDouble() - 52.841) < 1e-9);
    QCOMPARE(v.value("current_status").toString(), QStringLiteral("放电"));
    QVERIFY(qAbs(v.value("data_current").toDouble() - 12.5) < 1e-9);
    QVERIFY(qAbs(v.value("data_maxtemperature").toDouble() - 26.5) < 1e-9);
    QCOMPARE(v.value("soc_percent").toString(), QStringLiteral("87.5"));
    QCOMPARE(v.value("workStateValue").toString(), QStringLiteral("放电"));
    QCOMPARE(v.value("data_protocolversion").toString(), QStringLiteral("12"));
    QCOMPARE(v.value("time_left").toDouble(), 420.0);
    QCOMPARE(v.value("BlanceState").toDouble(), 5.0);
}

QTEST_GUILESS_MAIN(TestDataProcessor)
#include "tst_dataprocessor.moc"
