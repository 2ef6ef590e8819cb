#include "trends/trendsummary.h"

#include <cmath>
#include <cstring>

namespace {

// Level 0 keeps min, max and sum as floats and the count in a byte (a bucket has 32 rows);
// higher levels keep the count whole.
struct Stored0
{
    float min;
    float max;
    float sum;
};

// Higher levels: the count whole and the sum in double (a day's sum in a float would show in
// a mean's last digits), packed in 20 bytes and read and written by copying.
constexpr size_t kStoredNBytes = 20;

TrendSummary::Entry loadN(const uchar *record, int series)
{
    const uchar *p = record + size_t(series) * kStoredNBytes;
    TrendSummary::Entry n;
    std::memcpy(&n.min, p, 4);
    std::memcpy(&n.max, p + 4, 4);
    std::memcpy(&n.sum, p + 8, 8);
    std::memcpy(&n.count, p + 16, 4);
    return n;
}

void storeN(uchar *record, int series, const TrendSummary::Entry &n)
{
    uchar *p = record + size_t(series) * kStoredNBytes;
    std::memcpy(p, &n.min, 4);
    std::memcpy(p + 4, &n.max, 4);
    std::memcpy(p + 8, &n.sum, 8);
    std::memcpy(p + 16, &n.count, 4);
}

// Chunks hold fewer records on the upper levels, which have few.
int chunkShiftFor(int level)
{
    return qMax(2, 8 - 2 * level);
}

} // namespace

TrendSummary::TrendSummary() = default;
TrendSummary::~TrendSummary() = default;

void TrendSummary::reset(int seriesCount)
{
    m_series = qMax(0, seriesCount);
    m_rows = 0;
    m_levels.clear();
    m_levels.shrink_to_fit();
    m_open.assign(size_t(m_series), Entry());
    m_openRows = 0;
}

uchar *TrendSummary::Level::appendRecord()
{
    const qsizetype perChunk = qsizetype(1) << chunkShift;
    if ((count & (perChunk - 1)) == 0)
        chunks.emplace_back(new uchar[size_t(perChunk) * recordBytes]);
    return record(count++);
}

void TrendSummary::append(const double *values)
{
    for (int s = 0; s < m_series; ++s) {
        const double v = values[s];
        if (std::isfinite(v))
            m_open[size_t(s)].add(v);
    }
    ++m_rows;
    if (++m_openRows == (1 << kBaseShift))
        closeBucket();
}

void TrendSummary::closeBucket()
{
    if (m_levels.empty()) {
        Level level;
        // Counts follow the floats; records stay aligned for the next record's floats.
        level.recordBytes = (size_t(m_series) * (sizeof(Stored0) + 1) + 3) & ~size_t(3);
        level.chunkShift = chunkShiftFor(0);
        m_levels.push_back(std::move(level));
    }
    uchar *record = m_levels[0].appendRecord();
    auto *stored = reinterpret_cast<Stored0 *>(record);
    uchar *counts = record + size_t(m_series) * sizeof(Stored0);
    for (int s = 0; s < m_series; ++s) {
        Entry &e = m_open[size_t(s)];
        stored[s] = {e.min, e.max, float(e.sum)};
        counts[s] = uchar(e.count);
        e = Entry();
    }
    m_openRows = 0;
    fold(0);
}

void TrendSummary::fold(int level)
{
    constexpr qsizetype fan = qsizetype(1) << kFanShift;
    for (;;) {
        const Level &below = m_levels[size_t(level)];
        if (below.count % fan != 0)
            return;
        if (int(m_levels.size()) == level + 1) {
            Level up;
            up.recordBytes = size_t(m_series) * kStoredNBytes;
            up.chunkShift = chunkShiftFor(level + 1);
            m_levels.push_back(std::move(up));
        }
        const qsizetype first = m_levels[size_t(level)].count - fan;
        std::vector<Entry> &merged = m_fold;
        merged.assign(size_t(m_series), Entry());
        for (qsizetype b = first; b < first + fan; ++b) {
            const uchar *record = m_levels[size_t(level)].record(b);
            if (level == 0) {
                const auto *in = reinterpret_cast<const Stored0 *>(record);
                const uchar *counts = record + size_t(m_series) * sizeof(Stored0);
                for (int s = 0; s < m_series; ++s) {
                    Entry &out = merged[size_t(s)];
                    out.min = qMin(out.min, in[s].min);
                    out.max = qMax(out.max, in[s].max);
                    out.sum += in[s].sum;
                    out.count += counts[s];
                }
            } else {
                for (int s = 0; s < m_series; ++s) {
                    merged[size_t(s)].merge(loadN(record, s));
                }
            }
        }
        uchar *record = m_levels[size_t(level) + 1].appendRecord();
        for (int s = 0; s < m_series; ++s)
            storeN(record, s, merged[size_t(s)]);
        ++level;
    }
}

void TrendSummary::addBucket(int level, qsizetype bucket, const int *series, int n,
                             Entry *out) const
{
    const uchar *record = m_levels[size_t(level)].record(bucket);
    if (level == 0) {
        const auto *in = reinterpret_cast<const Stored0 *>(record);
        const uchar *counts = record + size_t(m_series) * sizeof(Stored0);
        for (int i = 0; i < n; ++i) {
            const int s = series[i];
            Entry &e = out[i];
            e.min = qMin(e.min, in[s].min);
            e.max = qMax(e.max, in[s].max);
            e.sum += in[s].sum;
            e.count += counts[s];
        }
    } else {
        for (int i = 0; i < n; ++i) {
            out[i].merge(loadN(record, series[i]));
        }
    }
}

size_t TrendSummary::bytes() const
{
    size_t total = m_open.capacity() * sizeof(Entry);
    for (const Level &level : m_levels)
        total += level.chunks.size()
                * ((size_t(1) << level.chunkShift) * level.recordBytes + sizeof(level.chunks[0]));
    return total;
}
