// Times in the trend view: a row's time read from the table's texts, and the clock and value
// ticks of the axes.

#include "trends/trendrowclock.h"
#include "trends/trendticks.h"

#include <QDateTime>
#include <QtTest>

namespace {

// Every character 7 pixels wide.
int fixedWidth(const QString &text)
{
    return int(text.size()) * 7;
}

} // namespace

class TestTrendTime : public QObject
{
    Q_OBJECT

private slots:
    void timeOfDay_data();
    void timeOfDay();
    void rowTimes();
    void timeOnlyRowsMoveToTheNextDay();
    void timeTicks_data();
    void timeTicks();
    void valueTicks_data();
    void valueTicks();
    void readoutTexts();
};

void TestTrendTime::timeOfDay_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("ms");
    QTest::newRow("table form") << QByteArray("12:00:00.05") << 43200050;
    QTest::newRow("last hundredth") << QByteArray("23:59:59.99") << 86399990;
    QTest::newRow("no fraction") << QByteArray("00:00:00") << 0;
    QTest::newRow("tenths") << QByteArray("12:00:00.5") << 43200500;
    QTest::newRow("hour 24") << QByteArray("24:00:00.00") << -1;
    QTest::newRow("minute 60") << QByteArray("12:60:00") << -1;
    QTest::newRow("short") << QByteArray("12:00") << -1;
    QTest::newRow("letters") << QByteArray("ab:cd:ef") << -1;
    QTest::newRow("trailing junk") << QByteArray("12:00:00x") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestTrendTime::timeOfDay()
{
    QFETCH(QByteArray, text);
    QFETCH(int, ms);
    QCOMPARE(TrendRowClock::parseTimeOfDay(text), ms);
}

void TestTrendTime::rowTimes()
{
    const qint64 arrival = QDateTime(QDate(2024, 1, 2), QTime(3, 4)).toMSecsSinceEpoch();
    TrendRowClock clock;
    clock.reset(true, QStringLiteral("yyyy-MM-dd"), true);
    QVERIFY(clock.readsRows());
    QCOMPARE(clock.read("2024-05-17", "22:00:01.25", arrival),
             QDateTime(QDate(2024, 5, 17), QTime(22, 0, 1, 250)).toMSecsSinceEpoch());
    // The same day again, from the kept date, and a date in another form of the column.
    QCOMPARE(clock.read("2024-05-17", "23:59:59.99", arrival),
             QDateTime(QDate(2024, 5, 17), QTime(23, 59, 59, 990)).toMSecsSinceEpoch());
    QCOMPARE(clock.read("not a date", "12:00:00.00", arrival), TrendRowClock::kInvalid);
    QCOMPARE(clock.read("2024-05-17", "", arrival), TrendRowClock::kInvalid);

    clock.reset(true, QStringLiteral("dd.MM.yyyy HH:mm:ss"), false);
    QCOMPARE(clock.read("17.05.2024 08:30:00", "", arrival),
             QDateTime(QDate(2024, 5, 17), QTime(8, 30)).toMSecsSinceEpoch());

    // A date alone orders nothing within a day; nothing at all: the arrival.
    clock.reset(true, QStringLiteral("yyyy-MM-dd"), false);
    QVERIFY(!clock.readsRows());
    QCOMPARE(clock.read("2024-05-17", "", arrival), arrival);
    clock.reset(false, QString(), false);
    QCOMPARE(clock.read("", "", arrival), arrival);
}

void TestTrendTime::timeOnlyRowsMoveToTheNextDay()
{
    const QDate day(2024, 3, 9);
    TrendRowClock clock;
    clock.reset(false, QString(), true);
    const qint64 arrival = QDateTime(day, QTime(23, 59, 58)).toMSecsSinceEpoch();
    QCOMPARE(clock.read("", "23:59:59.00", arrival),
             QDateTime(day, QTime(23, 59, 59)).toMSecsSinceEpoch());
    QCOMPARE(clock.read("", "00:00:01.00", arrival),
             QDateTime(day.addDays(1), QTime(0, 0, 1)).toMSecsSinceEpoch());
    // A small step back (a clock set back) stays on the day.
    QCOMPARE(clock.read("", "00:00:00.50", arrival),
             QDateTime(day.addDays(1), QTime(0, 0, 0, 500)).toMSecsSinceEpoch());
}

void TestTrendTime::timeTicks_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<qint64>("span");
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<QString>("format");

    const QDateTime evening(QDate(2024, 5, 17), QTime(23, 55, 13));
    QTest::newRow("seconds") << evening << qint64(30 * 1000) << 1000 << qint64(5000) << "HH:mm:ss";
    QTest::newRow("across midnight")
            << evening << qint64(10 * 60 * 1000) << 1000 << qint64(60 * 1000) << "HH:mm";
    QTest::newRow("three days") << evening << qint64(3 * 86400 * 1000) << 1000
                                << qint64(6 * 3600 * 1000) << "HH:mm";
    QTest::newRow("two months") << evening << qint64(60LL * 86400 * 1000) << 800
                                << qint64(7LL * 86400 * 1000) << "MM-dd";
    QTest::newRow("under a second")
            << evening << qint64(2000) << 1400 << qint64(200) << "HH:mm:ss.zzz";
}

void TestTrendTime::timeTicks()
{
    QFETCH(QDateTime, start);
    QFETCH(qint64, span);
    QFETCH(int, width);
    QFETCH(qint64, step);
    QFETCH(QString, format);
    const qint64 t0 = start.toMSecsSinceEpoch();
    const qint64 t1 = t0 + span;
    QCOMPARE(TrendTicks::timeStep(t0, t1, width, fixedWidth), step);
    const QList<TrendTicks::TimeTick> ticks = TrendTicks::timeTicks(t0, t1, width, fixedWidth);
    QVERIFY(ticks.size() >= 2);
    QDate previous;
    for (const TrendTicks::TimeTick &tick : ticks) {
        QVERIFY(tick.ms >= t0 && tick.ms <= t1);
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(tick.ms);
        // Labels say what Qt says of the same moment; ticks sit on round local times.
        QCOMPARE(tick.label,
                 format.startsWith(u'M') ? when.date().toString(format)
                                         : when.time().toString(format));
        if (step < 86400 * 1000)
            QCOMPARE(when.time().msecsSinceStartOfDay() % step, 0);
        else
            QCOMPARE(when.time(), QTime(0, 0));
        // The date under the first tick and where the day changes (the year, for day steps).
        const bool newDay = when.date() != previous;
        if (step < 86400 * 1000)
            QCOMPARE(tick.date,
                     newDay ? when.date().toString(QStringLiteral("yyyy-MM-dd")) : QString());
        previous = when.date();
        // Labels do not run into each other.
        QVERIFY(double(step) * width / span >= fixedWidth(tick.label) + 16);
    }
    QVERIFY(!ticks.first().date.isEmpty());
}

void TestTrendTime::valueTicks_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("decimals");
    // Cells at millivolt resolution, not from zero.
    QTest::newRow("cells") << 3294.6 << 3312.4 << 600 << 3295.0 << 1.0 << 18 << 0;
    QTest::newRow("current") << 0.9 << 2.1 << 300 << 1.0 << 0.2 << 6 << 1;
    QTest::newRow("around zero") << -1.05 << 1.05 << 200 << -1.0 << 0.5 << 5 << 1;
    QTest::newRow("volts") << 52.1003 << 52.1017 << 400 << 52.1004 << 0.0002 << 7 << 4;
}

void TestTrendTime::valueTicks()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, pixels);
    QFETCH(double, first);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(int, decimals);
    const TrendTicks::ValueTicks ticks = TrendTicks::valueTicks(low, high, pixels, 30);
    QVERIFY(qFuzzyCompare(ticks.first, first));
    QVERIFY(qFuzzyCompare(ticks.step, step));
    QCOMPARE(ticks.count, count);
    QCOMPARE(ticks.decimals, decimals);
}

void TestTrendTime::readoutTexts()
{
    QCOMPARE(TrendTicks::formatDuration(0), QStringLiteral("00:00:00"));
    QCOMPARE(TrendTicks::formatDuration(3723450), QStringLiteral("01:02:03.45"));
    QCOMPARE(TrendTicks::formatDuration(26LL * 3600 * 1000), QStringLiteral("26:00:00"));
    QCOMPARE(TrendTicks::formatDuration(-1500), QStringLiteral("-00:00:01.50"));
    QCOMPARE(TrendTicks::formatValue(-0.00001, 2), QStringLiteral("0.00"));
    QCOMPARE(TrendTicks::formatValue(3312.0), QStringLiteral("3312"));
    QCOMPARE(TrendTicks::formatValue(double(25.3f)), QStringLiteral("25.3"));
    QCOMPARE(TrendTicks::formatValue(std::nan("")), QStringLiteral("—"));
    QCOMPARE(TrendTicks::formatTime(
                     QDateTime(QDate(2024, 5, 17), QTime(8, 9, 10, 250)).toMSecsSinceEpoch()),
             QStringLiteral("2024-05-17 08:09:10.25"));
}

QTEST_GUILESS_MAIN(TestTrendTime)
#include "tst_trendtime.moc"
