#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <limits>

// Reads the time of a table row from its date and time texts, as the table writes them (a
// date in the column's format, a time "HH:mm:ss.cc" in local time), in ms since the epoch.
class TrendRowClock
{
public:
    static constexpr qint64 kInvalid = std::numeric_limits<qint64>::min();

    // hasDate/hasTime: whether the table has those columns; dateFormat that of the date column.
    void reset(bool hasDate, const QString &dateFormat, bool hasTime);

    // Whether rows carry their own time; otherwise their arrival time is all there is.
    bool readsRows() const { return m_mode != Mode::Arrival; }

    // The row's time, or kInvalid when its texts give none. With a time column only, the day is
    // that of the first row's arrival, moving on when the time of day runs back by half a day.
    qint64 read(QByteArrayView date, QByteArrayView time, qint64 arrival);

    // Milliseconds since midnight of "HH:mm:ss" with an optional fraction; -1 when malformed.
    static int parseTimeOfDay(QByteArrayView text);

private:
    enum class Mode { Arrival, DateAndTime, DateTimeFormat, TimeOnly };

    QDate parseDate(QByteArrayView text);
    qint64 localToUtc(const QDate &date, int msOfDay);

    Mode m_mode = Mode::Arrival;
    QString m_dateFormat;

    QByteArray m_lastDateText;
    QDate m_lastDate;

    qint64 m_cachedHourKey = std::numeric_limits<qint64>::min();
    qint64 m_cachedHourStart = 0;

    // Time-only rows: the day they fall on, and the previous time of day.
    QDate m_day;
    int m_lastTimeOfDay = -1;
};
