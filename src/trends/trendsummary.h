#pragma once

#include <QtGlobal>

#include <limits>
#include <memory>
#include <vector>

// Minimum, maximum, sum and count of every series over buckets of rows, on levels of growing
// bucket size (32 rows, then four times more per level), built as rows arrive. A view of any
// range then reads about as many buckets as it has pixels, whatever the number of rows.
//
// Only whole buckets are kept; the rows of a bucket still filling are read from the table.
// A series costs 13 bytes per 32 rows on the first level and 20 bytes per bucket on the others,
// under 0.6 bytes per row in all.
class TrendSummary
{
public:
    static constexpr int kBaseShift = 5; // 32 rows per bucket of level 0
    static constexpr int kFanShift = 2; // 4 buckets of a level make one of the next

    struct Entry
    {
        float min = std::numeric_limits<float>::infinity();
        float max = -std::numeric_limits<float>::infinity();
        double sum = 0;
        quint32 count = 0;

        void add(double v)
        {
            min = qMin(min, float(v));
            max = qMax(max, float(v));
            sum += v;
            ++count;
        }
        void merge(const Entry &other)
        {
            min = qMin(min, other.min);
            max = qMax(max, other.max);
            sum += other.sum;
            count += other.count;
        }
    };

    TrendSummary();
    ~TrendSummary();
    TrendSummary(const TrendSummary &) = delete;
    TrendSummary &operator=(const TrendSummary &) = delete;

    void reset(int seriesCount);
    int seriesCount() const { return m_series; }
    qsizetype rowCount() const { return m_rows; }

    // One row: a value per series, NaN where missing.
    void append(const double *values);

    static qsizetype bucketRows(int level)
    {
        return qsizetype(1) << (kBaseShift + kFanShift * level);
    }
    int levelCount() const { return int(m_levels.size()); }
    // Whole buckets of a level.
    qsizetype bucketCount(int level) const
    {
        return level < int(m_levels.size()) ? m_levels[size_t(level)].count : 0;
    }
    // Rows covered by whole buckets of level 0.
    qsizetype summarizedRows() const { return bucketCount(0) << kBaseShift; }

    // Entries of the given series in one bucket (adds them to out[i]).
    void addBucket(int level, qsizetype bucket, const int *series, int n, Entry *out) const;

    size_t bytes() const;

private:
    struct Level
    {
        size_t recordBytes = 0;
        int chunkShift = 0; // records per chunk: 1 << chunkShift
        std::vector<std::unique_ptr<uchar[]>> chunks;
        qsizetype count = 0;

        uchar *record(qsizetype i) const
        {
            return chunks[size_t(i >> chunkShift)].get()
                    + size_t(i & ((qsizetype(1) << chunkShift) - 1)) * recordBytes;
        }
        uchar *appendRecord();
    };

    void closeBucket();
    void fold(int level);

    int m_series = 0;
    qsizetype m_rows = 0;
    std::vector<Level> m_levels;
    // The bucket of level 0 being filled.
    std::vector<Entry> m_open;
    int m_openRows = 0;
    std::vector<Entry> m_fold;
};
