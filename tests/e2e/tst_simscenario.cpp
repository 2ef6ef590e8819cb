// The simulator's scenarios: which answers carry the forced reading, in the segment's encoding.

#include "simscenario.h"

#include <QTest>

#include <cmath>

namespace {

DataSegment segment(const QString &name, double scale, double offset, const QString &unit)
{
    DataSegment s;
    s.name = name;
    s.length = 4;
    s.scale = scale;
    s.offset = offset;
    s.unit = unit;
    return s;
}

} // namespace

class tst_SimScenario : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void apply_data();
    void apply();
};

void tst_SimScenario::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("excursions");

    QTest::newRow("overvoltage") << "overvoltage-cell=12@30" << true << 1;
    QTest::newRow("several") << "overtemp=2@5, spread=3@1,undervoltage-cell=1@9" << true << 3;
    QTest::newRow("cell 0") << "overvoltage-cell=0@3" << false << 0;
    QTest::newRow("answer 0") << "overvoltage-cell=1@0" << false << 0;
    QTest::newRow("no answer") << "overvoltage-cell=1" << false << 0;
    QTest::newRow("unknown") << "meltdown=1@1" << false << 0;
}

void tst_SimScenario::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, excursions);
    SimScenario scenario;
    QString error;
    QCOMPARE(scenario.parse(text, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (ok)
        QCOMPARE(scenario.excursions.size(), excursions);
}

void tst_SimScenario::apply_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("offset");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("answer");
    QTest::addColumn<quint64>("raw");

    const QString ov = QStringLiteral("overvoltage-cell=12@30");
    QTest::newRow("before") << ov << "Vcell12" << 1.0 << 0.0 << "mV" << 29 << quint64(3300);
    QTest::newRow("first") << ov << "Vcell12" << 1.0 << 0.0 << "mV" << 30 << quint64(3700);
    QTest::newRow("twentieth") << ov << "Vcell12" << 1.0 << 0.0 << "mV" << 49 << quint64(3700);
    QTest::newRow("after") << ov << "Vcell12" << 1.0 << 0.0 << "mV" << 50 << quint64(3300);
    QTest::newRow("other cell") << ov << "Vcell1" << 1.0 << 0.0 << "mV" << 30 << quint64(3300);
    QTest::newRow("cell in volts") << ov << "Vcell12" << 0.001 << 0.0 << "V" << 30 << quint64(3700);
    QTest::newRow("cell in 10 mV steps")
            << ov << "Vcell12" << 10.0 << 0.0 << "mV" << 30 << quint64(370);
    QTest::newRow("temperature with offset")
            << "overtemp=2@1"
            << "Temp2" << 0.1 << -40.0 << "℃" << 1 << quint64(1000);
    QTest::newRow("spread moves the modelled reading")
            << "spread=4@1"
            << "Vcell4" << 1.0 << 0.0 << "mV" << 5 << quint64(3150);
}

void tst_SimScenario::apply()
{
    QFETCH(QString, scenario);
    QFETCH(QString, name);
    QFETCH(double, scale);
    QFETCH(double, offset);
    QFETCH(QString, unit);
    QFETCH(int, answer);
    QFETCH(quint64, raw);
    SimScenario s;
    QVERIFY(s.parse(scenario, nullptr));
    const DataSegment seg = segment(name, scale, offset, unit);
    // The model's reading of 3300 mV (or 25 °C) in the segment's encoding.
    const quint64 model = name.startsWith(QLatin1String("Temp"))
            ? quint64((25.0 - offset) / scale)
            : quint64(std::llround((unit == QLatin1String("V") ? 3.3 : 3300.0) / scale));
    QCOMPARE(s.apply(answer, seg, model), raw);
}

QTEST_GUILESS_MAIN(tst_SimScenario)
#include "tst_simscenario.moc"
