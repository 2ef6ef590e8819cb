#include "datalog/cellstore.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The variant read back must be the same type and, for reals, the same bits.
bool identical(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId() || a.isValid() != b.isValid())
        return false;
    if (a.typeId() == QMetaType::Double)
        return sameBits(a.toDouble(), b.toDouble());
    return a == b;
}

QByteArray describe(const QVariant &v)
{
    QByteArray text(v.typeName() ? v.typeName() : "invalid");
    text += ' ' + QByteArray::number(v.toDouble(), 'g', 17) + ' ' + v.toString().left(40).toUtf8();
    return text;
}

} // namespace

class TestCellStore : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void numbersOutOfReach();
    void scaledReadingsRoundTrip();
    void textsPooledAndInline();
    void rowsOfDifferentWidthAndOrder();
    void clearDropsEverything();
};

void TestCellStore::roundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("invalid") << QVariant();
    QTest::newRow("int 0") << QVariant(0);
    QTest::newRow("int -128") << QVariant(-128);
    QTest::newRow("int 128") << QVariant(128);
    QTest::newRow("int -32769") << QVariant(-32769);
    QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("int min") << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("uint max") << QVariant(std::numeric_limits<uint>::max());
    QTest::newRow("qlonglong 5") << QVariant(qlonglong(5));
    QTest::newRow("qlonglong -40000") << QVariant(qlonglong(-40000));
    QTest::newRow("qlonglong 2^40") << QVariant(qlonglong(1) << 40);
    QTest::newRow("qlonglong min") << QVariant(std::numeric_limits<qlonglong>::min());
    QTest::newRow("qulonglong max") << QVariant(std::numeric_limits<qulonglong>::max());
    QTest::newRow("bool true") << QVariant(true);
    QTest::newRow("bool false") << QVariant(false);
    QTest::newRow("double 0") << QVariant(0.0);
    QTest::newRow("double -0") << QVariant(-0.0);
    QTest::newRow("double 3300") << QVariant(3300.0);
    QTest::newRow("double 3.245") << QVariant(3.245);
    QTest::newRow("double 3245*0.001") << QVariant(3245 * 0.001);
    QTest::newRow("double 0.1*3") << QVariant(0.1 * 3);
    QTest::newRow("double -12.5") << QVariant(-12.5);
    QTest::newRow("double 0.047 by difference") << QVariant(3.245 - 3.198);
    QTest::newRow("double 1/3") << QVariant(1.0 / 3);
    QTest::newRow("double 2147483647") << QVariant(2147483647.0);
    QTest::newRow("double 2147483648") << QVariant(2147483648.0);
    QTest::newRow("double -2147483648") << QVariant(-2147483648.0);
    QTest::newRow("double 1e-9") << QVariant(1e-9);
    QTest::newRow("double 1e300") << QVariant(1e300);
    QTest::newRow("double max") << QVariant(std::numeric_limits<double>::max());
    QTest::newRow("double denormal") << QVariant(std::numeric_limits<double>::denorm_min());
    QTest::newRow("double inf") << QVariant(inf);
    QTest::newRow("double -inf") << QVariant(-inf);
    QTest::newRow("double nan") << QVariant(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("string empty") << QVariant(QStringLiteral(""));
    QTest::newRow("string number") << QVariant(QStringLiteral("-25.5"));
    QTest::newRow("string ascii") << QVariant(QStringLiteral("14:03:27.05"));
    QTest::newRow("string chinese") << QVariant(QStringLiteral("充放电同时高温保护"));
    QTest::newRow("string 255 ascii") << QVariant(QString(255, u'x'));
    QTest::newRow("string 256 ascii") << QVariant(QString(256, u'y'));
    QTest::newRow("string 100 chinese") << QVariant(QString(100, u'电'));
    QTest::newRow("string surrogate pair") << QVariant(QString::fromUtf8("a\xF0\x9F\x94\x8B"));
    QTest::newRow("float") << QVariant(1.5f);
    QTest::newRow("bytearray") << QVariant(QByteArray("\x00\x01", 2));
}

void TestCellStore::roundTrip()
{
    QFETCH(QVariant, value);
    // Twice in a row and among other cells, so payload offsets are exercised too.
    CellStore store;
    for (int r = 0; r < 2; ++r) {
        store.beginRow();
        store.addVariant(QVariant(1.5));
        store.addVariant(value);
        store.addString(QStringLiteral("after"));
        store.addVariant(value);
        store.endRow();
    }
    // As a number: what the value says as one, NaN for texts that are no number and for
    // anything else.
    double number = std::numeric_limits<double>::quiet_NaN();
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::QByteArray:
    case QMetaType::UnknownType:
        break;
    case QMetaType::QString: {
        bool ok = false;
        const double parsed = value.toString().toDouble(&ok);
        if (ok)
            number = parsed;
        break;
    }
    default:
        number = value.toDouble();
        break;
    }
    for (int r = 0; r < 2; ++r) {
        QVERIFY2(identical(store.cell(r, 1), value), describe(store.cell(r, 1)).constData());
        QVERIFY2(identical(store.cell(r, 3), value), describe(store.cell(r, 3)).constData());
        QCOMPARE(store.cell(r, 2), QVariant(QStringLiteral("after")));
        QCOMPARE(store.isString(r, 1), value.typeId() == QMetaType::QString);
        const int columns[] = {1, 2, 3};
        double numbers[3];
        QCOMPARE(store.rowNumbers(r, columns, 3, numbers), 4);
        for (double got : {numbers[0], numbers[2]})
            QVERIFY2(identical(QVariant(got), QVariant(number)), qPrintable(QString::number(got)));
        QVERIFY(std::isnan(numbers[1]));
    }
}

void TestCellStore::numbersOutOfReach()
{
    CellStore store;
    store.beginRow();
    store.addVariant(1);
    store.addVariant(2.5);
    store.endRow();
    // Past the row's end, out of order, and a row that does not exist: NaN.
    const int columns[] = {1, 0, 2};
    double numbers[3];
    QCOMPARE(store.rowNumbers(0, columns, 3, numbers), 2);
    QCOMPARE(numbers[0], 2.5);
    QVERIFY(std::isnan(numbers[1]) && std::isnan(numbers[2]));
    QCOMPARE(store.rowNumbers(1, columns, 3, numbers), 0);
    QVERIFY(std::isnan(numbers[0]));
}

void TestCellStore::scaledReadingsRoundTrip()
{
    // Readings as the parser and the derived figures compute them, bit for bit.
    QRandomGenerator rng(42);
    const double scales[] = {1, 0.1, 0.01, 0.001, 0.0001, 0.02, 0.5, 1.0 / 3};
    const double offsets[] = {0, -40, -273.1, 2731.5};
    CellStore store;
    QList<double> expected;
    for (int row = 0; row < 500; ++row) {
        store.beginRow();
        for (int i = 0; i < 40; ++i) {
            const int raw = int(rng.bounded(0x10000u)) - (i % 5 == 0 ? 0x8000 : 0);
            const double a = raw * scales[i % 8] + offsets[(i / 8) % 4];
            const double b = int(rng.bounded(4000u)) * scales[(i + 3) % 8];
            const double v = (i % 3 == 0) ? a - b : (i % 3 == 1) ? (a + b) / 4 : a;
            expected.append(v);
            store.addVariant(QVariant(v));
        }
        store.endRow();
    }
    for (int row = 499; row >= 0; --row) {
        for (int i = 0; i < 40; ++i) {
            const QVariant cell = store.cell(row, i);
            QCOMPARE(cell.typeId(), QMetaType::Double);
            const double want = expected.at(row * 40 + i);
            const QByteArray message = QByteArray::number(want, 'g', 17) + " read back as "
                    + QByteArray::number(cell.toDouble(), 'g', 17);
            QVERIFY2(sameBits(cell.toDouble(), want), message.constData());
        }
    }
}

void TestCellStore::textsPooledAndInline()
{
    // Column 0 repeats a few texts, column 1 is unique per row (beyond the pooling cap).
    CellStore store;
    const QString repeated[] = {QStringLiteral("待机"), QStringLiteral("均衡中"),
                                QStringLiteral("正在充电")};
    for (int r = 0; r < 2000; ++r) {
        store.beginRow();
        store.addString(repeated[r % 3]);
        store.addString(QStringLiteral("12:00:%1.%2").arg(r / 100).arg(r % 100));
        store.addString(QStringLiteral("行%1").arg(r));
        store.endRow();
    }
    for (int r = 0; r < 2000; ++r) {
        QCOMPARE(store.cell(r, 0).toString(), repeated[r % 3]);
        QCOMPARE(store.cell(r, 1).toString(),
                 QStringLiteral("12:00:%1.%2").arg(r / 100).arg(r % 100));
        QCOMPARE(store.cell(r, 2).toString(), QStringLiteral("行%1").arg(r));
    }
}

void TestCellStore::rowsOfDifferentWidthAndOrder()
{
    // Enough rows to cross index pages and arena blocks, widths from 0 to 300 cells
    // (one row larger than a block), read back in a scattered order.
    CellStore store;
    const int rows = 9000;
    auto width = [](int r) { return r == 4500 ? 3000 : (r * 7) % 301; };
    for (int r = 0; r < rows; ++r) {
        store.beginRow();
        for (int c = 0; c < width(r); ++c) {
            if (c % 4 == 3)
                store.addInvalid();
            else if (c % 4 == 2)
                store.addString(QString::number(r));
            else
                store.addVariant(QVariant(r * 1000 + c));
        }
        store.endRow();
    }
    QCOMPARE(store.rowCount(), rows);
    for (int i = 0; i < rows; ++i) {
        const int r = (i * 7919) % rows;
        QCOMPARE(store.cellCount(r), width(r));
        const int c = width(r) ? (i % width(r)) : 0;
        const QVariant cell = store.cell(r, c);
        if (width(r) == 0)
            QVERIFY(!cell.isValid());
        else if (c % 4 == 3)
            QVERIFY(!cell.isValid());
        else if (c % 4 == 2)
            QCOMPARE(cell, QVariant(QString::number(r)));
        else
            QCOMPARE(cell, QVariant(r * 1000 + c));
        QVERIFY(!store.cell(r, width(r)).isValid());
        QVERIFY(!store.cell(r, -1).isValid());
    }
    QVERIFY(!store.cell(rows, 0).isValid());
    QVERIFY(!store.cell(-1, 0).isValid());
    QCOMPARE(store.cellCount(rows), 0);
}

void TestCellStore::clearDropsEverything()
{
    CellStore store;
    for (int r = 0; r < 5000; ++r) {
        store.beginRow();
        store.addString(QStringLiteral("x%1").arg(r % 7));
        store.endRow();
    }
    QVERIFY(store.cell(10, 0).isValid());
    store.clear();
    QCOMPARE(store.rowCount(), 0);
    QVERIFY(!store.cell(10, 0).isValid());
    store.beginRow();
    store.addString(QStringLiteral("new"));
    store.addVariant(QVariant(2.5));
    store.endRow();
    QCOMPARE(store.rowCount(), 1);
    QCOMPARE(store.cell(0, 0), QVariant(QStringLiteral("new")));
    QCOMPARE(store.cell(0, 1), QVariant(2.5));
}

QTEST_GUILESS_MAIN(TestCellStore)
#include "tst_cellstore.moc"
