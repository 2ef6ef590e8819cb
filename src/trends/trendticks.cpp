#include "trends/trendticks.h"

#include <QDateTime>

#include <cmath>
#include <iterator>

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

const qint64 kSteps[] = {
        10,          20,           50,           100,          200,          500,       kSecond,
        2 * kSecond, 5 * kSecond,  10 * kSecond, 15 * kSecond, 30 * kSecond, kMinute,   2 * kMinute,
        5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute, kHour,        2 * kHour, 3 * kHour,
        6 * kHour,   12 * kHour,   kDay,         2 * kDay,     7 * kDay,     14 * kDay, 28 * kDay,
        56 * kDay,   112 * kDay,   364 * kDay,
};

QString labelFormat(qint64 step)
{
    if (step < kSecond)
        return QStringLiteral("HH:mm:ss.zzz");
    if (step < kMinute)
        return QStringLiteral("HH:mm:ss");
    if (step < kDay)
        return QStringLiteral("HH:mm");
    return QStringLiteral("MM-dd");
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

qint64 TrendTicks::timeStep(qint64 t0, qint64 t1, int width,
                            const std::function<int(const QString &)> &labelWidth)
{
    const qint64 span = qMax<qint64>(1, t1 - t0);
    const double pixelsPerMs = double(qMax(1, width)) / double(span);
    // Digits are as wide as each other in the fonts used: a sample of eights stands for all.
    QString format;
    int needed = 0;
    for (qint64 step : kSteps) {
        const QString stepFormat = labelFormat(step);
        if (stepFormat != format) {
            format = stepFormat;
            QString sample = format;
            for (QChar &c : sample) {
                if (c.isLetter())
                    c = u'8';
            }
            needed = labelWidth(sample) + 16;
        }
        if (double(step) * pixelsPerMs >= needed)
            return step;
    }
    // Years of data on a narrow plot: whole multiples of the longest step.
    const qint64 longest = kSteps[std::size(kSteps) - 1];
    const auto multiple = qint64(std::ceil(needed / (double(longest) * pixelsPerMs)));
    return longest * qMax<qint64>(1, multiple);
}

QList<TrendTicks::TimeTick>
TrendTicks::timeTicks(qint64 t0, qint64 t1, int width,
                      const std::function<int(const QString &)> &labelWidth)
{
    QList<TimeTick> ticks;
    if (t1 <= t0 || width <= 0)
        return ticks;
    const qint64 step = timeStep(t0, t1, width, labelWidth);
    const QString format = labelFormat(step);
    // Round local times: shift to local, round up, shift back. Labels are made from the local
    // time by arithmetic (a local-time conversion per tick costs a time-zone lookup), unless
    // the offset from UTC changes within the view.
    const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(t0).offsetFromUtc()) * kSecond;
    const bool oneOffset =
            offset == qint64(QDateTime::fromMSecsSinceEpoch(t1).offsetFromUtc()) * kSecond;
    constexpr qint64 unixEpochJulianDay = 2440588;
    qint64 local = floorDiv(t0 + offset + step - 1, step) * step;
    QDate previousDate;
    for (int guard = 0; guard < 1000; ++guard, local += step) {
        const qint64 ms = local - offset;
        if (ms > t1)
            break;
        QDate date;
        QTime time;
        if (oneOffset) {
            const qint64 day = floorDiv(local, kDay);
            date = QDate::fromJulianDay(unixEpochJulianDay + day);
            time = QTime::fromMSecsSinceStartOfDay(int(local - day * kDay));
        } else {
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
            date = when.date();
            time = when.time();
        }
        TimeTick tick;
        tick.ms = ms;
        if (step < kDay) {
            tick.label = time.toString(format);
            if (date != previousDate)
                tick.date = date.toString(QStringLiteral("yyyy-MM-dd"));
        } else {
            tick.label = date.toString(format);
            if (!previousDate.isValid() || date.year() != previousDate.year())
                tick.date = QString::number(date.year());
        }
        previousDate = date;
        ticks.append(tick);
    }
    return ticks;
}

TrendTicks::ValueTicks TrendTicks::valueTicks(double low, double high, int pixels, int minSpacing)
{
    ValueTicks ticks;
    if (!(high > low) || !std::isfinite(low) || !std::isfinite(high) || pixels <= 0)
        return ticks;
    const double wanted = (high - low) * qMax(1, minSpacing) / pixels;
    const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= wanted)
            break;
    }
    ticks.step = step;
    ticks.first = std::ceil(low / step - 1e-9) * step;
    ticks.count = int(std::floor((high - ticks.first) / step + 1e-9)) + 1;
    ticks.decimals = qMax(0, int(-std::floor(std::log10(step) + 1e-9)));
    return ticks;
}

QString TrendTicks::formatValue(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    if (value == 0)
        return QStringLiteral("0");
    if (std::fabs(value) >= 1e7)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'g', 7);
}

QString TrendTicks::formatValue(double value, int decimals)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    decimals = qBound(0, decimals, 9);
    // A tick a rounding error below zero reads 0, not -0.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    return QString::number(value, 'f', decimals);
}

QString TrendTicks::formatDuration(qint64 ms)
{
    const bool negative = ms < 0;
    quint64 rest = quint64(negative ? -ms : ms);
    const quint64 hundredths = (rest % 1000) / 10;
    rest /= 1000;
    const quint64 seconds = rest % 60;
    rest /= 60;
    const quint64 minutes = rest % 60;
    const quint64 hours = rest / 60;
    QString text = QStringLiteral("%1%2:%3:%4")
                           .arg(negative ? QStringLiteral("-") : QString())
                           .arg(hours, 2, 10, QLatin1Char('0'))
                           .arg(minutes, 2, 10, QLatin1Char('0'))
                           .arg(seconds, 2, 10, QLatin1Char('0'));
    if (hundredths)
        text += QStringLiteral(".%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    return text;
}

QString TrendTicks::formatTime(qint64 ms)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
    const int hundredths = when.time().msec() / 10;
    QString text = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (hundredths)
        text += QStringLiteral(".%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    return text;
}
