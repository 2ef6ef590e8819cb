#include "trends/trendrowclock.h"

#include "datalog/dateformat.h"

#include <QDateTime>
#include <QTime>

namespace {

constexpr int kMsPerHour = 3600 * 1000;
constexpr int kMsPerDay = 24 * kMsPerHour;

int twoDigits(QByteArrayView text, qsizetype at)
{
    if (at + 1 >= text.size())
        return -1;
    const char a = text.at(at), b = text.at(at + 1);
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

} // namespace

void TrendRowClock::reset(bool hasDate, const QString &dateFormat, bool hasTime)
{
    m_dateFormat = dateFormat;
    if (hasDate && !isDateOnlyFormat(dateFormat))
        m_mode = Mode::DateTimeFormat;
    else if (hasDate && hasTime)
        m_mode = Mode::DateAndTime;
    else if (hasTime)
        m_mode = Mode::TimeOnly;
    else
        m_mode = Mode::Arrival; // a date alone says nothing about the order within a day
    m_lastDateText.clear();
    m_lastDate = QDate();
    m_cachedHourKey = std::numeric_limits<qint64>::min();
    m_day = QDate();
    m_lastTimeOfDay = -1;
}

int TrendRowClock::parseTimeOfDay(QByteArrayView text)
{
    const int h = twoDigits(text, 0);
    const int m = twoDigits(text, 3);
    const int s = twoDigits(text, 6);
    if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 59 || text.at(2) != ':'
        || text.at(5) != ':')
        return -1;
    int ms = 0;
    if (text.size() > 8) {
        if (text.at(8) != '.' && text.at(8) != ',')
            return -1;
        int scale = 100;
        for (qsizetype i = 9; i < text.size(); ++i) {
            const char c = text.at(i);
            if (c < '0' || c > '9')
                return -1;
            ms += (c - '0') * scale;
            scale /= 10;
        }
    }
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

QDate TrendRowClock::parseDate(QByteArrayView text)
{
    // A date changes once a day: parse it only then.
    if (text != QByteArrayView(m_lastDateText) || !m_lastDate.isValid()) {
        m_lastDateText = text.toByteArray();
        m_lastDate = QDate::fromString(QString::fromUtf8(text), m_dateFormat);
    }
    return m_lastDate;
}

qint64 TrendRowClock::localToUtc(const QDate &date, int msOfDay)
{
    // The offset from UTC changes on whole hours at most: look it up once an hour.
    const int hour = msOfDay / kMsPerHour;
    const qint64 key = date.toJulianDay() * 24 + hour;
    if (key != m_cachedHourKey) {
        m_cachedHourKey = key;
        m_cachedHourStart = QDateTime(date, QTime(hour, 0)).toMSecsSinceEpoch();
    }
    return m_cachedHourStart + (msOfDay - qint64(hour) * kMsPerHour);
}

qint64 TrendRowClock::read(QByteArrayView date, QByteArrayView time, qint64 arrival)
{
    switch (m_mode) {
    case Mode::Arrival:
        return arrival;
    case Mode::DateTimeFormat: {
        const QDateTime dt = QDateTime::fromString(QString::fromUtf8(date), m_dateFormat);
        return dt.isValid() ? dt.toMSecsSinceEpoch() : kInvalid;
    }
    case Mode::DateAndTime: {
        const QDate day = parseDate(date);
        const int ms = parseTimeOfDay(time);
        if (!day.isValid() || ms < 0)
            return kInvalid;
        return localToUtc(day, ms);
    }
    case Mode::TimeOnly: {
        const int ms = parseTimeOfDay(time);
        if (ms < 0)
            return kInvalid;
        if (!m_day.isValid())
            m_day = QDateTime::fromMSecsSinceEpoch(arrival).date();
        else if (m_lastTimeOfDay >= 0 && ms < m_lastTimeOfDay - kMsPerDay / 2)
            m_day = m_day.addDays(1);
        m_lastTimeOfDay = ms;
        return localToUtc(m_day, ms);
    }
    }
    return kInvalid;
}
