#pragma once

#include <QList>
#include <QString>

#include <functional>

// Axis ticks of the trend view: clock times that adapt from milliseconds to days, and round
// values; and the texts of readouts.
class TrendTicks
{
public:
    struct TimeTick
    {
        qint64 ms = 0; // since the epoch
        QString label; // the time, in a form that suits the step
        QString date; // a second line where the day (or year) changes; empty otherwise
    };

    // Ticks on [t0, t1] spread over `width` pixels, at least one label's width plus a gap
    // apart; labelWidth measures a label in pixels. Placed on round local times.
    static QList<TimeTick> timeTicks(qint64 t0, qint64 t1, int width,
                                     const std::function<int(const QString &)> &labelWidth);
    // The step timeTicks chose, in ms.
    static qint64 timeStep(qint64 t0, qint64 t1, int width,
                           const std::function<int(const QString &)> &labelWidth);

    struct ValueTicks
    {
        double first = 0; // the lowest tick
        double step = 1;
        int count = 0;
        int decimals = 0; // what the step needs
    };
    // Round ticks within [low, high], at least minSpacing of `pixels` apart.
    static ValueTicks valueTicks(double low, double high, int pixels, int minSpacing);

    // A reading as the legend and readouts show it: up to 7 significant digits.
    static QString formatValue(double value);
    static QString formatValue(double value, int decimals);
    // A span of time: [-]HH:mm:ss with hours past 24, and hundredths when there are any.
    static QString formatDuration(qint64 ms);
    // A row's time: yyyy-MM-dd HH:mm:ss, with hundredths when there are any.
    static QString formatTime(qint64 ms);
};
