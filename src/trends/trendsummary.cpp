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

struct StoredN
{
    float min;
    float max;
    float sum;
    quint32 count;
};

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
            up.recordBytes = size_t(m_series) * sizeof(StoredN);
            up.chunkShift = chunkShiftFor(level + 1);
            m_levels.push_back(std::move(up));
        }
        const qsizetype first = m_levels[size_t(level)].count - fan;
        auto *out = reinterpret_cast<StoredN *>(m_levels[size_t(level) + 1].appendRecord());
        for (int s = 0; s < m_series; ++s)
            out[s] = {std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), 0.0f, 0};
        // Sums are added in double and stored rounded once per level.
        std::vector<double> &sums = m_foldSums;
        sums.assign(size_t(m_series), 0.0);
        for (qsizetype b = first; b < first + fan; ++b) {
            const uchar *record = m_levels[size_t(level)].record(b);
            if (level == 0) {
                const auto *in = reinterpret_cast<const Stored0 *>(record);
                const uchar *counts = record + size_t(m_series) * sizeof(Stored0);
                for (int s = 0; s < m_series; ++s) {
                    out[s].min = qMin(out[s].min, in[s].min);
                    out[s].max = qMax(out[s].max, in[s].max);
                    sums[size_t(s)] += in[s].sum;
                    out[s].count += counts[s];
                }
            } else {
                const auto *in = reinterpret_cast<const StoredN *>(record);
                for (int s = 0; s < m_series; ++s) {
                    out[s].min = qMin(out[s].min, in[s].min);
                    out[s].max = qMax(out[s].max, in[s].max);
                    sums[size_t(s)] += in[s].sum;
                    out[s].count += in[s].count;
                }
            }
        }
        for (int s = 0; s < m_series; ++s)
            out[s].sum = float(sums[size_t(s)]);
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
        const auto *in = reinterpret_cast<const StoredN *>(record);
        for (int i = 0; i < n; ++i) {
            const int s = series[i];
            Entry &e = out[i];
            e.min = qMin(e.min, in[s].min);
            e.max = qMax(e.max, in[s].max);
            e.sum += in[s].sum;
            e.count += in[s].count;
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
