#include "datalog/cellstore.h"
#include "datalog/realtext.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The display role of a real cell: its variant's text.
QByteArray displayText(double v)
{
    return QVariant(v).toString().toLatin1();
}

double ulps(double v, int steps)
{
    const double towards = steps < 0 ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    for (int i = 0; i < std::abs(steps); ++i)
        v = std::nextafter(v, towards);
    return v;
}

} // namespace

// Reals the export turns into text without Qt, against the display role: the integer path on
// its own and the cell store's texts the export writes, which add the short decimals, the cache
// of recent texts and std::to_chars.
class TestRealText : public QObject
{
    Q_OBJECT

private slots:
    void matchesDisplayText_data();
    void matchesDisplayText();
};

void TestRealText::matchesDisplayText_data()
{
    QTest::addColumn<QList<double>>("values");
    // Percent of the values the integer path must make itself, so that a path that gives up
    // on everything does not pass.
    QTest::addColumn<int>("minShare");

    const double inf = std::numeric_limits<double>::infinity();
    QList<double> edges{0.0,
                        -0.0,
                        1e-5,
                        ulps(1e-5, -1),
                        ulps(1e-5, 1),
                        -1e-5,
                        1.5e-5,
                        5e-5,
                        1e-4,
                        0.00012,
                        0.1,
                        0.2,
                        0.1 + 0.2,
                        1.0 / 3,
                        -2.0 / 3,
                        9.5,
                        123456789012345.6,
                        999999999999999.9,
                        ulps(1e15, -1),
                        1e15,
                        -1e15,
                        std::numeric_limits<double>::max(),
                        std::numeric_limits<double>::min(),
                        std::numeric_limits<double>::denorm_min(),
                        inf,
                        -inf,
                        std::numeric_limits<double>::quiet_NaN(),
                        4503599627370495.5,
                        0.30000000000000004,
                        2.8000000000000003,
                        -12.345,
                        25.3,
                        3.2871};
    for (int e = -20; e < 52; ++e)
        edges << std::ldexp(1.0, e) << -std::ldexp(1.0, e) << ulps(std::ldexp(1.0, e), 1)
              << ulps(std::ldexp(1.0, e), -1);
    QTest::newRow("edges") << edges << 0;

    QList<double> tens;
    for (int k = -7; k <= 16; ++k) {
        const double p = std::pow(10.0, k);
        for (int s = -3; s <= 3; ++s)
            tens << ulps(p, s) << -ulps(p, s) << ulps(p * 9.999999, s);
    }
    QTest::newRow("powers of ten and their neighbours") << tens << 0;

    QRandomGenerator rng(11);
    const double scales[] = {0.1, 0.01, 0.001, 0.0001, 0.00001, 0.002, 0.0002};
    const double offsets[] = {0.0, -40.0, -273.15, -273.1, 2.8, 0.5, 95.0, 1000.0};
    QList<double> readings;
    for (int i = 0; i < 40000; ++i) {
        const int raw = int(rng.bounded(131072u)) - 65536;
        readings << raw * scales[i % 7] + offsets[(i / 7) % 8];
    }
    QTest::newRow("readings raw x scale + offset") << readings << 10;

    QList<double> neighbours;
    for (int i = 0; i < 20000; ++i) {
        const auto mantissa = qint32(rng.generate());
        const double base = double(mantissa) / std::pow(10.0, i % 8);
        const int steps[] = {1, -1, 2, -3, 127, -128};
        neighbours << ulps(base, steps[i % 6]);
    }
    QTest::newRow("a few units off short decimals") << neighbours << 90;

    QList<double> wide;
    for (int i = 0; i < 40000; ++i) {
        const double v = std::pow(10.0, rng.generateDouble() * 20 - 5);
        wide << (i % 2 ? -v : v);
    }
    QTest::newRow("any digits from 1e-5 to 1e15") << wide << 95;

    QList<double> digits17;
    for (int i = 0; i < 20000; ++i) {
        const double v = double(10000000000000000ull + rng.bounded(90000000000000000ull));
        digits17 << v / std::pow(10.0, 2 + i % 20);
    }
    QTest::newRow("17 significant digits") << digits17 << 90;
}

void TestRealText::matchesDisplayText()
{
    QFETCH(QList<double>, values);
    QFETCH(int, minShare);

    int fast = 0;
    for (double v : std::as_const(values)) {
        char text[realtext::kMaxSize];
        const int n = realtext::shortest(v, text);
        if (n == 0)
            continue;
        ++fast;
        QVERIFY(n <= realtext::kMaxSize);
        QCOMPARE(QByteArray(text, n), displayText(v));
    }
    QVERIFY2(fast * 100 >= minShare * values.size(), qPrintable(QString::number(fast)));

    // The texts the export takes from the store, in rows of 50 cells, field by field and as
    // cell texts; every real twice, so the second reads the cache of recent texts.
    CellStore store;
    constexpr int kCells = 50;
    for (qsizetype i = 0; i < values.size(); i += kCells) {
        for (int pass = 0; pass < 2; ++pass) {
            store.beginRow();
            for (qsizetype j = i; j < qMin(i + kCells, values.size()); ++j)
                store.addVariant(values.at(j));
            store.endRow();
        }
    }
    CellStore::CellText texts[kCells];
    int columns[kCells];
    for (int c = 0; c < kCells; ++c)
        columns[c] = c;
    for (qsizetype row = 0; row < store.rowCount(); ++row) {
        // As the export writes a line: fields straight from the store, cells it leaves to the
        // display role filled in here.
        QByteArray expected;
        const qsizetype first = row / 2 * kCells;
        const int cells = int(qMin<qsizetype>(kCells, values.size() - first));
        for (int c = 0; c < cells; ++c)
            expected += (c ? ",\"" : "\"") + displayText(values.at(first + c)) + '"';
        QByteArray line(cells * (CellStore::kMaxNumberText + 3), '\0');
        char *out = line.data();
        for (int from = 0; from < cells;) {
            CellStore::TextKind kind;
            QByteArrayView text;
            from = store.csvFields(row, columns, cells, from, out, kind, text);
            if (from == cells)
                break;
            QCOMPARE(int(kind), int(CellStore::TextKind::Other));
            const QByteArray field =
                    (from ? ",\"" : "\"") + displayText(values.at(first + from)) + '"';
            out = std::copy(field.cbegin(), field.cend(), out);
            ++from;
        }
        line.truncate(out - line.data());
        QCOMPARE(line, expected);

        const int count = store.rowTexts(row, texts, kCells);
        for (int c = 0; c < count; ++c) {
            const double v = values.at(row / 2 * kCells + c);
            switch (texts[c].kind) {
            case CellStore::TextKind::Number:
                QCOMPARE(QByteArray(texts[c].number, texts[c].length), displayText(v));
                break;
            case CellStore::TextKind::Other:
                break; // the display role itself
            default:
                QFAIL(qPrintable(QStringLiteral("not a number: %1").arg(v)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestRealText)
#include "tst_realtext.moc"
