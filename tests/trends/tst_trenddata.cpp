// The trend data fed by a real table: row times from the table's own cells, and bucket
// summaries and per-pixel decimation that must agree with the rows themselves.

#include "trends/trenddata.h"
#include "trendtestdata.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

TableColumn column(const QString &field, const QString &type = QStringLiteral("data"),
                   const QString &format = QString())
{
    TableColumn c;
    c.header = field;
    c.field = field;
    c.type = type;
    c.format = format;
    return c;
}

QList<TableColumn> twoSeries()
{
    return {column(QStringLiteral("_date"), QStringLiteral("system")),
            column(QStringLiteral("_time"), QStringLiteral("system")), column(QStringLiteral("a")),
            column(QStringLiteral("b"))};
}

struct Rows
{
    std::vector<qint64> times;
    std::vector<double> a, b; // NaN where the row lacks the value
};

// Rows 200 ms apart with a gap of an hour in the middle; some values missing, some texts.
Rows fill(RDModel &model, int count, quint32 seed)
{
    QRandomGenerator rng(seed);
    Rows rows;
    QDateTime when = trendStart();
    for (int r = 0; r < count; ++r) {
        QVariantHash values;
        double a = std::nan(""), b = std::nan("");
        if (rng.bounded(10) != 0) {
            a = 3000 + rng.bounded(400);
            values.insert(QStringLiteral("a"), a);
        }
        if (rng.bounded(4) != 0) {
            b = (rng.bounded(2000) - 1000) / 10.0;
            // A decimal text is a number too.
            values.insert(QStringLiteral("b"),
                          rng.bounded(2) ? QVariant(b) : QVariant(QString::number(b)));
        }
        appendAt(model, when, values);
        rows.times.push_back(when.toMSecsSinceEpoch() / 10 * 10);
        rows.a.push_back(a);
        rows.b.push_back(b);
        when = when.addMSecs(r == count / 2 ? 3600 * 1000 : 200);
    }
    return rows;
}

TrendSummary::Entry bruteForce(const std::vector<double> &values, qsizetype first, qsizetype last)
{
    TrendSummary::Entry e;
    for (qsizetype r = first; r < last; ++r) {
        if (std::isfinite(values[size_t(r)]))
            e.add(values[size_t(r)]);
    }
    return e;
}

// Sums of 32 rows are kept as floats: a sum may be off by a float's rounding of each of them,
// at most 2^-24 of the sum of the magnitudes.
void compare(const TrendSummary::Entry &got, const TrendSummary::Entry &want, double magnitudes,
             const char *what)
{
    QVERIFY2(got.count == want.count, what);
    if (!want.count)
        return;
    QVERIFY2(got.min == want.min, what);
    QVERIFY2(got.max == want.max, what);
    QVERIFY2(std::fabs(got.sum - want.sum) <= 1e-7 * magnitudes, what);
}

double magnitudes(const std::vector<double> &values, qsizetype first, qsizetype last)
{
    double sum = 0;
    for (qsizetype r = first; r < last; ++r) {
        if (std::isfinite(values[size_t(r)]))
            sum += std::fabs(values[size_t(r)]);
    }
    return sum;
}

} // namespace

class TestTrendData : public QObject
{
    Q_OBJECT

private slots:
    void timesComeFromTheTableCells();
    void summariesMatchRows_data();
    void summariesMatchRows();
    void decimationCoversTheRowsInView_data();
    void decimationCoversTheRowsInView();
    void fewRowsAreHandedOutWithNeighbours();
    void followsTheTable();
};

void TestTrendData::timesComeFromTheTableCells()
{
    // A day-month-year date column and times across midnight, 10 ms apart and unordered once.
    RDModel model;
    model.setColumns({column(QStringLiteral("_date"), QStringLiteral("system"),
                             QStringLiteral("dd.MM.yyyy")),
                      column(QStringLiteral("_time"), QStringLiteral("system")),
                      column(QStringLiteral("a"))});
    TrendData data;
    data.setModel(&model);
    const QDateTime midnight(QDate(2024, 5, 18), QTime(0, 0));
    const QList<qint64> offsets = {-20, -10, 0, 10, 5000, 4000};
    for (qint64 offset : offsets)
        appendAt(model, midnight.addMSecs(offset), {{QStringLiteral("a"), 1}});
    QCOMPARE(data.rowCount(), 6);
    for (int r = 0; r < 5; ++r)
        QCOMPARE(data.times().at(r), midnight.addMSecs(offsets.at(r)).toMSecsSinceEpoch());
    // A clock set back does not run the axis backwards.
    QCOMPARE(data.times().at(5), data.times().at(4));
    QCOMPARE(data.times().nearest(midnight.toMSecsSinceEpoch() + 4), 2);
    QCOMPARE(data.times().lowerBound(midnight.toMSecsSinceEpoch() + 1), 3);
    QCOMPARE(data.times().upperBound(midnight.toMSecsSinceEpoch() + 5000), 6);
}

void TestTrendData::summariesMatchRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("less than a bucket") << 20;
    QTest::newRow("one bucket and a bit") << 33;
    QTest::newRow("several levels") << 3000;
    QTest::newRow("deep") << 40000;
}

void TestTrendData::summariesMatchRows()
{
    QFETCH(int, rows);
    RDModel model;
    model.setColumns(twoSeries());
    TrendData data;
    data.setModel(&model);
    const Rows expected = fill(model, rows, quint32(rows));
    QCOMPARE(data.rowCount(), rows);
    const int a = data.catalogue().indexOf(QStringLiteral("a"));
    const int b = data.catalogue().indexOf(QStringLiteral("b"));
    QVERIFY(a >= 0 && b >= 0);

    QRandomGenerator rng(99);
    QList<QPair<qsizetype, qsizetype>> ranges = {{0, rows}, {1, rows - 1}, {rows / 2, rows}};
    for (int i = 0; i < 30; ++i) {
        const qsizetype x = rng.bounded(rows + 1), y = rng.bounded(rows + 1);
        ranges.append({qMin(x, y), qMax(x, y)});
    }
    for (const auto &[first, last] : ranges) {
        TrendSummary::Entry got[2];
        data.summarize(first, last, {a, b}, got);
        compare(got[0], bruteForce(expected.a, first, last), magnitudes(expected.a, first, last),
                "a");
        compare(got[1], bruteForce(expected.b, first, last), magnitudes(expected.b, first, last),
                "b");
    }
}

void TestTrendData::decimationCoversTheRowsInView_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("width");
    QTest::newRow("rows from the table, 10 a pixel") << 3000 << 300;
    QTest::newRow("buckets, 130 a pixel") << 40000 << 300;
}

void TestTrendData::decimationCoversTheRowsInView()
{
    QFETCH(int, rows);
    QFETCH(int, width);
    RDModel model;
    model.setColumns(twoSeries());
    TrendData data;
    data.setModel(&model);
    const Rows expected = fill(model, rows, 7);
    const int a = data.catalogue().indexOf(QStringLiteral("a"));
    const int b = data.catalogue().indexOf(QStringLiteral("b"));

    // A view that cuts through buckets at both ends.
    const qint64 t0 = expected.times[size_t(rows / 10)] + 1;
    const qint64 t1 = expected.times[size_t(rows - rows / 7)];
    TrendData::Decimation d;
    data.decimate(t0, t1, width, {a, b}, true, d);
    QVERIFY(!d.points);
    QCOMPARE(d.width, width);

    const qsizetype first = data.times().lowerBound(t0);
    const qsizetype last = data.times().upperBound(t1);
    const bool exact = double(last - first) / width < TrendSummary::bucketRows(0);
    for (int i = 0; i < 2; ++i) {
        const std::vector<double> &values = i == 0 ? expected.a : expected.b;
        // All columns together hold exactly the rows in view.
        TrendSummary::Entry all;
        std::vector<TrendSummary::Entry> perColumn(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x)
            all.merge(d.columns[size_t(x) * 2 + size_t(i)]);
        compare(all, bruteForce(values, first, last), magnitudes(values, first, last),
                "all columns");
        if (!exact)
            continue;
        // Read from the rows, each column holds exactly the rows whose time falls into it.
        for (qsizetype r = first; r < last; ++r) {
            const auto x = qint64(double(expected.times[size_t(r)] - t0) * width / double(t1 - t0));
            if (std::isfinite(values[size_t(r)]))
                perColumn[size_t(qMin<qint64>(x, width - 1))].add(values[size_t(r)]);
        }
        for (int x = 0; x < width; ++x)
            compare(d.columns[size_t(x) * 2 + size_t(i)], perColumn[size_t(x)], 0, "column");
    }
}

void TestTrendData::fewRowsAreHandedOutWithNeighbours()
{
    RDModel model;
    model.setColumns(twoSeries());
    TrendData data;
    data.setModel(&model);
    const Rows expected = fill(model, 100, 3);
    const int a = data.catalogue().indexOf(QStringLiteral("a"));
    TrendData::Decimation d;
    data.decimate(expected.times[10], expected.times[20], 500, {a}, true, d);
    QVERIFY(d.points);
    // Rows 10 to 20, and one more on each side so that lines reach the edges.
    QCOMPARE(d.times.size(), size_t(13));
    QCOMPARE(d.times.front(), expected.times[9]);
    QCOMPARE(d.times.back(), expected.times[21]);
    for (size_t k = 0; k < d.times.size(); ++k) {
        const double want = expected.a[9 + k];
        QVERIFY(std::isnan(want) ? std::isnan(d.values[k]) : d.values[k] == want);
    }
}

void TestTrendData::followsTheTable()
{
    RDModel model;
    model.setColumns(sampleColumns());
    TrendData data;
    QSignalSpy reset(&data, &TrendData::seriesChanged);
    QSignalSpy appended(&data, &TrendData::rowsAppended);
    data.setModel(&model);
    QCOMPARE(reset.count(), 1);
    const int cells = int(std::count_if(data.series().begin(), data.series().end(),
                                        [](const TrendSeries &s) { return s.cell > 0; }));
    QCOMPARE(cells, 16);

    for (int r = 0; r < 5; ++r)
        appendAt(model, trendStart().addSecs(r), packValues([](int i) { return 3300 + i; }, 1, 25));
    QCOMPARE(appended.count(), 5);
    QCOMPARE(data.rowCount(), 5);

    // Rows the trend data did not see arrive (signals blocked) are taken in at the next one.
    model.blockSignals(true);
    appendAt(model, trendStart().addSecs(10), packValues([](int) { return 3300; }, 1, 25));
    model.blockSignals(false);
    appendAt(model, trendStart().addSecs(11), packValues([](int) { return 3300; }, 1, 25));
    QCOMPARE(data.rowCount(), 7);

    // Another protocol's columns, rows kept: the curves follow the columns.
    model.setColumns(sampleColumns(QStringLiteral("cs-8s.json")));
    QCOMPARE(data.rowCount(), 7);
    QCOMPARE(int(std::count_if(data.series().begin(), data.series().end(),
                               [](const TrendSeries &s) { return s.cell > 0; })),
             8);
    model.clearData();
    QCOMPARE(data.rowCount(), 0);
    QVERIFY(reset.count() >= 3);
}

QTEST_GUILESS_MAIN(TestTrendData)
#include "tst_trenddata.moc"
