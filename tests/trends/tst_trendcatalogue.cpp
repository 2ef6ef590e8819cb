// The curves a table offers, from the sample protocols' real table mappings, and the pack
// figures derived from a row where the table has no column for them.

#include "trends/trendcatalogue.h"
#include "trendtestdata.h"

#include <QtTest>

#include <cmath>

namespace {

TableColumn dataColumn(const QString &header, const QString &field)
{
    TableColumn c;
    c.header = header;
    c.field = field;
    c.type = QStringLiteral("data");
    return c;
}

int countIn(const TrendCatalogue &catalogue, TrendGroup group)
{
    return int(std::count_if(catalogue.series().begin(), catalogue.series().end(),
                             [group](const TrendSeries &s) { return s.group == group; }));
}

} // namespace

class TestTrendCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void sampleProtocols_data();
    void sampleProtocols();
    void seriesOfTheTable();
    void derivedFigures_data();
    void derivedFigures();
    void splitHeader_data();
    void splitHeader();
};

void TestTrendCatalogue::sampleProtocols_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("temperatures");
    QTest::addColumn<QStringList>("derived");
    // CS-16S has columns for every pack figure but the mean cell voltage and temperature.
    QTest::newRow("CS-16S") << "cs-16s.json" << 16 << 7
                            << QStringList{QStringLiteral("cell_mean"), QStringLiteral("avg_temp")};
    // CS-8S has no temperature extremes: they are derived from its two probes.
    QTest::newRow("CS-8S") << "cs-8s.json" << 8 << 5
                           << QStringList{QStringLiteral("cell_mean"),
                                          QStringLiteral("data_maxtemperature"),
                                          QStringLiteral("data_mintemperature"),
                                          QStringLiteral("avg_temp")};
}

void TestTrendCatalogue::sampleProtocols()
{
    QFETCH(QString, file);
    QFETCH(int, cells);
    QFETCH(int, temperatures);
    QFETCH(QStringList, derived);
    const QList<TableColumn> columns = sampleColumns(file);
    QVERIFY(!columns.isEmpty());
    const TrendCatalogue catalogue(columns);
    QCOMPARE(countIn(catalogue, TrendGroup::Cells), cells);
    QCOMPARE(countIn(catalogue, TrendGroup::Temperatures), temperatures);
    QCOMPARE(catalogue.dateColumn(), 0);
    QCOMPARE(catalogue.timeColumn(), 1);
    QStringList found;
    for (const TrendSeries &s : catalogue.series()) {
        if (s.derived != TrendDerived::None)
            found.append(s.key);
        // Every curve is a column of the table or derived, never the status or a time.
        QVERIFY(s.column != 0 && s.column != 1 && s.column != 2);
    }
    QCOMPARE(found, derived);
    // Grouped in picker order, cells by number.
    for (int i = 1; i < catalogue.size(); ++i)
        QVERIFY(catalogue.series().at(i - 1).group <= catalogue.series().at(i).group);
    for (int i = 0; i < cells; ++i)
        QCOMPARE(catalogue.series().at(i).cell, i + 1);
}

void TestTrendCatalogue::seriesOfTheTable()
{
    const TrendCatalogue catalogue(sampleColumns());
    struct Expected
    {
        const char *key;
        const char *name;
        const char *unit;
        TrendGroup group;
    };
    const Expected expected[] = {
            {"Vcell3", "电芯3", "mV", TrendGroup::Cells},
            {"data_totalv", "电池组电压", "V", TrendGroup::Pack},
            {"data_current", "电池组电流", "A", TrendGroup::Pack},
            {"voltage_diff", "电压差值", "mV", TrendGroup::Pack},
            {"cell_mean", "平均电芯电压", "mV", TrendGroup::Pack},
            {"Temp2", "温度2", "℃", TrendGroup::Temperatures},
            {"data_maxtemperature", "最高温度", "℃", TrendGroup::Temperatures},
            {"soc", "SOC", "%", TrendGroup::State},
            {"cycle_count", "循环次数", "", TrendGroup::State},
    };
    for (const Expected &e : expected) {
        const int index = catalogue.indexOf(QString::fromUtf8(e.key));
        QVERIFY2(index >= 0, e.key);
        const TrendSeries &s = catalogue.series().at(index);
        QCOMPARE(s.name, QString::fromUtf8(e.name));
        QCOMPARE(s.unit, QString::fromUtf8(e.unit));
        QCOMPARE(s.group, e.group);
    }
}

void TestTrendCatalogue::derivedFigures_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("expected");
    // Cells 1000, 3300, 3310, 999.9 and 5000.1: only the first three count, as the window counts.
    QTest::newRow("total (V)") << "data_totalv" << 7.61;
    QTest::newRow("highest") << "data_maxv" << 3310.0;
    QTest::newRow("lowest") << "data_minv" << 1000.0;
    QTest::newRow("spread") << "voltage_diff" << 2310.0;
    QTest::newRow("mean") << "cell_mean" << 7610.0 / 3;
    // Charge 0, discharge 2500 mA: discharging shows below zero.
    QTest::newRow("current (A)") << "data_current" << -2.5;
    QTest::newRow("highest probe") << "data_maxtemperature" << 31.5;
    QTest::newRow("lowest probe") << "data_mintemperature" << -4.0;
    QTest::newRow("mean probe") << "avg_temp" << 13.75;
    QTest::newRow("state of charge") << "soc" << 25.0;
}

void TestTrendCatalogue::derivedFigures()
{
    QFETCH(QString, key);
    QFETCH(double, expected);
    QList<TableColumn> columns;
    const QStringList sources = {
            QStringLiteral("Vcell1"),     QStringLiteral("Vcell2"),  QStringLiteral("Vcell3"),
            QStringLiteral("Vcell4"),     QStringLiteral("Vcell5"),  QStringLiteral("Temp1"),
            QStringLiteral("Temp2"),      QStringLiteral("ChgCur"),  QStringLiteral("DsgCur"),
            QStringLiteral("remain_cap"), QStringLiteral("full_cap")};
    for (const QString &field : sources)
        columns.append(dataColumn(field, field));
    const TrendCatalogue catalogue(columns);
    const double numbers[] = {1000, 3300, 3310, 999.9, 5000.1, 31.5, -4.0, 0, 2500, 50, 200};
    QCOMPARE(catalogue.sourceColumns().size(), std::size(numbers));
    std::vector<double> values(size_t(catalogue.size()));
    catalogue.evaluate(numbers, values.data());
    const int index = catalogue.indexOf(key);
    QVERIFY(index >= 0);
    QCOMPARE(catalogue.series().at(index).column, -1);
    QVERIFY2(std::fabs(values[size_t(index)] - expected) < 1e-9,
             qPrintable(QString::number(values[size_t(index)], 'g', 17)));

    // Without any counted cell the figures are missing, not zero.
    const double none[] = {0, 0, 0, 0, 0, NAN, NAN, NAN, NAN, NAN, 0};
    catalogue.evaluate(none, values.data());
    if (key != QLatin1String("data_current") && key != QLatin1String("soc"))
        QVERIFY(std::isnan(values[size_t(index)]));
}

void TestTrendCatalogue::splitHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::newRow("name and unit") << "电芯1 (mV)"
                                   << "电芯1"
                                   << "mV";
    QTest::newRow("no space") << "SOC(%)"
                              << "SOC"
                              << "%";
    QTest::newRow("no unit") << "循环次数"
                             << "循环次数"
                             << "";
    QTest::newRow("parenthesis first") << "(mV)"
                                       << "(mV)"
                                       << "";
    QTest::newRow("inner parenthesis") << "A (b) c"
                                       << "A (b) c"
                                       << "";
}

void TestTrendCatalogue::splitHeader()
{
    QFETCH(QString, header);
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QString gotUnit;
    QCOMPARE(TrendCatalogue::splitHeader(header, &gotUnit), name);
    QCOMPARE(gotUnit, unit);
}

QTEST_GUILESS_MAIN(TestTrendCatalogue)
#include "tst_trendcatalogue.moc"
