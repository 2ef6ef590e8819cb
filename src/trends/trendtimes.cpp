#include "trends/trendtimes.h"

#include <limits>

void TrendTimes::clear()
{
    m_pages.clear();
    m_pages.shrink_to_fit();
    m_size = 0;
    m_base = 0;
    m_last = 0;
}

qint64 TrendTimes::append(qint64 ms)
{
    if (m_size == 0) {
        m_base = ms >= 0 ? ms / kUnit * kUnit : -((-ms + kUnit - 1) / kUnit) * kUnit;
        m_last = 0;
    }
    const qint64 units = (ms - m_base) / kUnit;
    const quint32 offset = units <= qint64(m_last)
            ? m_last
            : quint32(qMin<qint64>(units, std::numeric_limits<quint32>::max()));
    if ((m_size & kMask) == 0)
        m_pages.emplace_back(new quint32[kPage]);
    m_pages.back()[m_size & kMask] = offset;
    m_last = offset;
    ++m_size;
    return m_base + qint64(offset) * kUnit;
}

qsizetype TrendTimes::lowerBound(qint64 ms) const
{
    qsizetype lo = 0, hi = m_size;
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo) / 2;
        if (at(mid) < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

qsizetype TrendTimes::upperBound(qint64 ms) const
{
    qsizetype lo = 0, hi = m_size;
    while (lo < hi) {
        const qsizetype mid = lo + (hi - lo) / 2;
        if (at(mid) <= ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

qsizetype TrendTimes::nearest(qint64 ms) const
{
    if (m_size == 0)
        return -1;
    const qsizetype after = lowerBound(ms);
    if (after == 0)
        return 0;
    if (after == m_size)
        return m_size - 1;
    return ms - at(after - 1) <= at(after) - ms ? after - 1 : after;
}

size_t TrendTimes::bytes() const
{
    return m_pages.size() * (size_t(kPage) * sizeof(quint32) + sizeof(m_pages[0]));
}
