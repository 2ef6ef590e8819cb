#pragma once

#include <QtGlobal>

#include <memory>
#include <vector>

// The time of every row, in ms since the epoch, never decreasing: appended in pages, so an
// append never moves earlier times and costs the same at any length. Kept in hundredths of a
// second (the table's resolution) from the first row, four bytes a row: 497 days from the first
// row (later rows stay at that end).
class TrendTimes
{
public:
    void clear();
    // Appends max(ms, last time): a clock set back must not make the axis run backwards.
    qint64 append(qint64 ms);

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    qint64 at(qsizetype row) const
    {
        return m_base + qint64(m_pages[size_t(row >> kShift)][row & kMask]) * kUnit;
    }
    qint64 first() const { return at(0); }
    qint64 last() const { return at(m_size - 1); }

    // The first row at or after ms (size() when none), and the first row after ms.
    qsizetype lowerBound(qint64 ms) const;
    qsizetype upperBound(qint64 ms) const;
    // The row whose time is nearest to ms (the earlier one on a tie); -1 when empty.
    qsizetype nearest(qint64 ms) const;

    size_t bytes() const;

private:
    static constexpr int kShift = 12;
    static constexpr qsizetype kPage = qsizetype(1) << kShift;
    static constexpr qsizetype kMask = kPage - 1;
    static constexpr qint64 kUnit = 10; // ms

    std::vector<std::unique_ptr<quint32[]>> m_pages;
    qsizetype m_size = 0;
    qint64 m_base = 0;
    quint32 m_last = 0;
};
