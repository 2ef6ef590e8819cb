// The simulator's battery model, response encoding and fault options.

#include "batterymodel.h"
#include "protocol/protocolconfig.h"
#include "responseencoder.h"
#include "simfaults.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_BmsSim : public QObject
{
    Q_OBJECT

private slots:
    void encodeValue_data();
    void encodeValue();
    void responseFrameParses();
    void rawRequestGivesAddressAndVersion();
    void modelStaysPlausible();
    void seedRepeatsTheRun();
    void samplePacksLookReal_data();
    void samplePacksLookReal();
    void faults_data();
    void faults();
};

static DataSegment segment(const QString &name, int length, double scale, double offset = 0.0,
                           const QString &unit = QString())
{
    DataSegment s;
    s.name = name;
    s.length = length;
    s.scale = scale;
    s.offset = offset;
    s.unit = unit;
    return s;
}

void tst_BmsSim::encodeValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("offset");
    QTest::addColumn<quint64>("raw");

    QTest::newRow("volts in mV steps") << 3.3 << 4 << 0.001 << 0.0 << quint64(3300);
    QTest::newRow("rounds down") << 3.3004 << 4 << 0.001 << 0.0 << quint64(3300);
    QTest::newRow("rounds up") << 3.3006 << 4 << 0.001 << 0.0 << quint64(3301);
    QTest::newRow("offset") << 25.0 << 4 << 0.1 << -40.0 << quint64(650);
    QTest::newRow("below range") << -5.0 << 4 << 1.0 << 0.0 << quint64(0);
    QTest::newRow("above range") << 70000.0 << 4 << 1.0 << 0.0 << quint64(0xFFFF);
    QTest::newRow("two digits") << 300.0 << 2 << 1.0 << 0.0 << quint64(0xFF);
    QTest::newRow("no scale") << 12.0 << 4 << 0.0 << 5.0 << quint64(0);
    QTest::newRow("no width") << 12.0 << 0 << 1.0 << 0.0 << quint64(0);
    QTest::newRow("eight digits") << 4e9 << 8 << 1.0 << 0.0 << quint64(4000000000u);
}

void tst_BmsSim::encodeValue()
{
    QFETCH(double, value);
    QFETCH(int, length);
    QFETCH(double, scale);
    QFETCH(double, offset);
    QFETCH(quint64, raw);
    QCOMPARE(BatteryModel::encodeValue(value, segment(QStringLiteral("x"), length, scale, offset)),
             raw);
}

void tst_BmsSim::responseFrameParses()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"protocol": {"name": "P", "version": "1", "frame": {"SOI": ":", "EOI": "~"},
        "commands": [
          {"name": "volts", "code": "42", "request": {"addr": "01", "ver": "10"},
           "response": {"dataSegments": [
              {"name": "V1", "length": 4, "scale": 0.001}, {"name": "V2", "length": 4, "scale": 0.001}]}},
          {"name": "odd", "code": "07", "request": {"addr": "3", "ver": "2"},
           "response": {"dataSegments": [{"name": "A", "length": 3, "scale": 1}]}}]}})");
    file.close();
    ProtocolConfig config;
    QVERIFY(config.loadConfig(path));

    const CommandDefinition volts = config.command(QStringLiteral("volts"));
    const QByteArray frame = ResponseEncoder::encode(config, volts, {3300, 3000});
    const QByteArray body = "01C21000040CE40BB8";
    QCOMPARE(frame, ':' + body + ProtocolConfig::checksum(body) + '~');
    QVariantMap values;
    QVERIFY(config.parseResponseFrame(frame, QStringLiteral("volts"), values));
    QCOMPARE(values.value(QStringLiteral("V1")).toDouble(), 3.3);
    QCOMPARE(values.value(QStringLiteral("V2")).toDouble(), 3.0);
    const QJsonObject sent = ResponseEncoder::decodedValues(volts.dataSegments, {3300, 3000});
    QCOMPARE(sent.value(QStringLiteral("V1")).toDouble(),
             values.value(QStringLiteral("V1")).toDouble());

    // A wrong checksum changes only the checksum.
    const QByteArray bad = ResponseEncoder::encode(config, volts, {3300, 3000}, true);
    QCOMPARE(bad.size(), frame.size());
    QCOMPARE(bad.left(body.size() + 1), frame.left(body.size() + 1));
    QVERIFY(bad != frame);

    // Odd widths: padded to whole bytes; short address and version fields padded to two.
    const CommandDefinition odd = config.command(QStringLiteral("odd"));
    const QByteArray oddFrame = ResponseEncoder::encode(config, odd, {0xABC});
    QCOMPARE(oddFrame.left(15), QByteArray(":0387020002ABC0"));
    values.clear();
    QVERIFY(config.parseResponseFrame(oddFrame, QStringLiteral("odd"), values));
    QCOMPARE(values.value(QStringLiteral("A")).toDouble(), double(0xABC));
}

void tst_BmsSim::rawRequestGivesAddressAndVersion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("raw.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"protocol": {"name": "R", "version": "1", "frame": {"SOI": ":", "EOI": "~"},
        "commands": [{"name": "r", "code": "10", "request": {"raw": ":05102200000000~"}}]}})");
    file.close();
    ProtocolConfig config;
    QVERIFY(config.loadConfig(path));
    const QByteArray frame =
            ResponseEncoder::encode(config, config.command(QStringLiteral("r")), {});
    QVERIFY2(frame.startsWith(":05902200"), frame.constData());
}

void tst_BmsSim::modelStaysPlausible()
{
    BatteryModel model(3);
    int charging = 0, discharging = 0, standby = 0, protection = 0;
    double lastSoc = model.stateOfCharge();
    const int steps = 600;
    for (int step = 0; step < steps; ++step) {
        model.advance();
        double lowest = 10.0;
        int lowestCell = -1;
        for (int i = 0; i < BatteryModel::cellCount; ++i) {
            const double v = model.cellVoltage(i);
            QVERIFY2(v > 3.1 && v < 3.45, qPrintable(QString::number(v)));
            if (v < lowest) {
                lowest = v;
                lowestCell = i;
            }
        }
        QCOMPARE(lowestCell, model.weakCell());
        for (int i = 0; i < BatteryModel::temperatureCount; ++i)
            QVERIFY(model.temperature(i) >= 20.0 && model.temperature(i) <= 35.0);
        QVERIFY(model.remainingCapacity() >= 0.0
                && model.remainingCapacity() <= model.fullCapacity());

        const double soc = model.stateOfCharge();
        const quint16 state = model.workState();
        if (model.current() > 0) {
            ++charging;
            QVERIFY(soc >= lastSoc);
        } else if (model.current() < 0) {
            ++discharging;
            QVERIFY(soc <= lastSoc);
        } else {
            ++standby;
            QCOMPARE(soc, lastSoc);
        }
        const quint16 expected = model.current() > 0 ? 0xF001
                : model.current() < 0                ? 0xF002
                                                     : 0xF000;
        if (state != expected)
            ++protection;
        lastSoc = soc;

        // Charge and discharge current are never sent at once.
        const quint64 c =
                model.rawValue(segment(QStringLiteral("ChgCur"), 4, 0.01, 0, QStringLiteral("A")));
        const quint64 d =
                model.rawValue(segment(QStringLiteral("DsgCur"), 4, 0.01, 0, QStringLiteral("A")));
        QVERIFY(c == 0 || d == 0);
    }
    QVERIFY(charging > steps / 4);
    QVERIFY(discharging > steps / 4);
    QVERIFY(standby > 0);
    QVERIFY(protection > 0);
    QVERIFY(protection < steps / 10);

    // Units pick the magnitude: millivolts and volts, amperes and milliamperes.
    const double v = model.cellVoltage(0);
    QCOMPARE(model.rawValue(segment(QStringLiteral("Vcell1"), 4, 1, 0, QStringLiteral("mV"))),
             quint64(std::llround(v * 1000)));
    QCOMPARE(model.rawValue(segment(QStringLiteral("Vcell1"), 4, 0.001, 0, QStringLiteral("V"))),
             quint64(std::llround(v * 1000)));
    QCOMPARE(model.rawValue(segment(QStringLiteral("WorkState"), 4, 1)),
             quint64(model.workState()));
    // Names it does not know get a value that does not change.
    const DataSegment other = segment(QStringLiteral("firmware"), 4, 1);
    const quint64 first = model.rawValue(other);
    model.advance();
    QCOMPARE(model.rawValue(other), first);
}

void tst_BmsSim::seedRepeatsTheRun()
{
    BatteryModel a(11), b(11), c(12);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        a.advance();
        b.advance();
        c.advance();
        QCOMPARE(a.cellVoltage(5), b.cellVoltage(5));
        QCOMPARE(a.temperature(2), b.temperature(2));
        differs = differs || a.cellVoltage(5) != c.cellVoltage(5);
    }
    QVERIFY(differs);
}

void tst_BmsSim::samplePacksLookReal_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cells");
    QTest::newRow("cs-16s") << QStringLiteral("cs-16s.json") << 16;
    QTest::newRow("cs-8s") << QStringLiteral("cs-8s.json") << 8;
}

// What a user sees first: every reading of both sample protocols, decoded as the application
// decodes it, must fit the others as on a real pack.
void tst_BmsSim::samplePacksLookReal()
{
    QFETCH(QString, file);
    QFETCH(int, cells);

    ProtocolConfig config;
    QVERIFY(config.loadConfig(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/") + file));
    QCOMPARE(BatteryModel::seriesCount(config.dataSegments(config.defaultCommand())), cells);
    BatteryModel model(5, cells);

    auto decode = [&](const QString &commandName) {
        const CommandDefinition command = config.command(commandName);
        QList<quint64> raws;
        for (const DataSegment &segment : command.dataSegments)
            raws.append(model.rawValue(segment));
        QVariantMap values;
        if (!config.parseResponseFrame(ResponseEncoder::encode(config, command, raws), commandName,
                                       values))
            values.clear();
        return values;
    };
    auto near = [](double a, double b, double tolerance) { return qAbs(a - b) <= tolerance; };

    double firstCycles = -1;
    double lastCycles = -1;
    double charged = 0;
    for (int step = 0; step < 3000; ++step) {
        model.advance();
        const QVariantMap v = decode(config.defaultCommand());
        QVERIFY(!v.isEmpty());
        const QString at = QStringLiteral("step %1").arg(step);
        const double remain = v.value(QStringLiteral("remain_cap")).toDouble();
        const double full = v.value(QStringLiteral("full_cap")).toDouble();
        QVERIFY2(remain > 0 && remain <= full, qPrintable(at));
        QVERIFY2(near(v.value(QStringLiteral("soc")).toDouble(), 100 * remain / full, 1.0),
                 qPrintable(at));
        const double charge = v.value(QStringLiteral("ChgCur")).toDouble() / 1000.0; // mA
        const double discharge = v.value(QStringLiteral("DsgCur")).toDouble() / 1000.0;
        QVERIFY(charge == 0 || discharge == 0);
        charged += charge / 60.0; // one minute per answer

        if (v.contains(QStringLiteral("design_cap"))) {
            const double design = v.value(QStringLiteral("design_cap")).toDouble();
            QVERIFY2(design >= full, qPrintable(at));
            QVERIFY2(near(v.value(QStringLiteral("soh")).toDouble(), 100 * full / design, 1.0),
                     qPrintable(at));
        }
        if (v.contains(QStringLiteral("time_left"))) {
            const double minutes = v.value(QStringLiteral("time_left")).toDouble();
            if (discharge > 0)
                QVERIFY2(near(minutes, 60 * remain / discharge, 2.0 + minutes / 50),
                         qPrintable(at));
            else if (charge > 0)
                QVERIFY2(near(minutes, 60 * (full - remain) / charge, 2.0 + minutes / 50),
                         qPrintable(at));
            else
                QVERIFY2(minutes > 0, qPrintable(at));
        }
        if (v.contains(QStringLiteral("learn_status"))) {
            const double learned = v.value(QStringLiteral("learn_status")).toDouble();
            QVERIFY2(learned >= 0 && learned <= 100, qPrintable(at));
        }
        if (v.contains(QStringLiteral("cycle_count"))) {
            const double cycles = v.value(QStringLiteral("cycle_count")).toDouble();
            QVERIFY2(cycles >= lastCycles, qPrintable(at));
            if (firstCycles < 0)
                firstCycles = cycles;
            lastCycles = cycles;
        }
        const int balancing = v.value(QStringLiteral("BlanceState")).toInt();
        QVERIFY2(balancing < (1 << cells), qPrintable(at));
        if (discharge > 0)
            QCOMPARE(balancing, 0); // cells are balanced while charging only
    }
    if (firstCycles >= 0) {
        // Charge throughput counts: about one cycle per full capacity charged.
        QVERIFY2(charged > 100.0, qPrintable(QString::number(charged)));
        QVERIFY2(lastCycles > firstCycles, qPrintable(QString::number(lastCycles)));
        QVERIFY2(lastCycles - firstCycles <= charged / 80.0 + 1,
                 qPrintable(QString::number(lastCycles)));
    }

    for (const QString &name : config.commandNames()) {
        if (name == config.defaultCommand())
            continue;
        const QVariantMap v = decode(name);
        QVERIFY(!v.isEmpty());
        if (v.contains(QStringLiteral("cell_series")))
            QCOMPARE(v.value(QStringLiteral("cell_series")).toInt(), cells);
        for (const QString &key : {QStringLiteral("hw_version"), QStringLiteral("sw_version"),
                                   QStringLiteral("serial_number")}) {
            if (v.contains(key))
                QVERIFY2(v.value(key).toDouble() >= 1, qPrintable(key));
        }
        QCOMPARE(decode(name), v); // the pack's identity does not change
    }
}

void tst_BmsSim::faults_data()
{
    QTest::addColumn<QStringList>("faultList");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected"); // silent,split,drop,garbage,bad,delay,hangup

    QTest::newRow("none") << QStringList() << true << "0,0,0,0,0,0,-1";
    QTest::newRow("each once") << QStringList{"silent",        "split",          "drop=0.25",
                                              "garbage=0.5",   "bad-checksum=1", "delay=40",
                                              "hangup-after=5"}
                               << true << "1,1,0.25,0.5,1,40,5";
    QTest::newRow("comma list") << QStringList{"split,delay=7"} << true << "0,1,0,0,0,7,-1";
    QTest::newRow("unknown") << QStringList{"explode"} << false << QString();
    QTest::newRow("share above one") << QStringList{"drop=1.5"} << false << QString();
    QTest::newRow("negative delay") << QStringList{"delay=-1"} << false << QString();
    QTest::newRow("missing value") << QStringList{"hangup-after="} << false << QString();
    QTest::newRow("value on a flag") << QStringList{"silent=1"} << false << QString();
}

void tst_BmsSim::faults()
{
    QFETCH(QStringList, faultList);
    QFETCH(bool, ok);
    QFETCH(QString, expected);

    SimFaults f;
    bool allOk = true;
    QString error;
    for (const QString &fault : std::as_const(faultList))
        allOk = f.parse(fault, &error) && allOk;
    QCOMPARE(allOk, ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    const QString got = QStringList{QString::number(int(f.silent)), QString::number(int(f.split)),
                                    QString::number(f.drop),        QString::number(f.garbage),
                                    QString::number(f.badChecksum), QString::number(f.delayMs),
                                    QString::number(f.hangupAfter)}
                                .join(u',');
    QCOMPARE(got, expected);
}

QTEST_APPLESS_MAIN(tst_BmsSim)
#include "tst_bmssim.moc"
