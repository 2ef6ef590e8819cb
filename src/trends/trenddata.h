#pragma once

#include "trends/trendcatalogue.h"
#include "trends/trendrowclock.h"
#include "trends/trendsummary.h"
#include "trends/trendtimes.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <vector>

class RDModel;

// The data behind the trend view, fed by the real-time table: which curves the table offers,
// the time of every row and the bucket summaries that make drawing depend on pixels, not rows.
// Values are read from the table's own store when needed; per row this keeps its time and the
// summaries (under 32 bytes for a 16-cell pack's table).
//
// It follows the table as it changes: appended rows are taken in as they arrive, a reset (new
// columns, a cleared table, a recording loaded) starts over from the table's rows.
class TrendData : public QObject
{
    Q_OBJECT

public:
    explicit TrendData(QObject *parent = nullptr);
    ~TrendData() override;

    void setModel(RDModel *model);
    RDModel *model() const;

    const TrendCatalogue &catalogue() const { return m_catalogue; }
    const QList<TrendSeries> &series() const { return m_catalogue.series(); }
    int seriesCount() const { return m_catalogue.size(); }
    // Whether a series has had a number in any row so far.
    bool hasValues(int series) const;

    qsizetype rowCount() const { return m_times.size(); }
    const TrendTimes &times() const { return m_times; }

    // Every series' value in one row, NaN where missing; out holds seriesCount() values.
    void rowValues(qsizetype row, double *out) const;

    // The rows within [t0, t1] summarized per pixel column of a plot `width` pixels wide, for
    // the given series. With fewer rows than pixels (and points allowed) the rows themselves
    // are handed out instead, with one more on either side so that lines reach the edges.
    struct Decimation
    {
        qint64 t0 = 0;
        qint64 t1 = 0;
        int width = 0; // pixel columns in `columns`; 0 with points or nothing to show
        QList<int> series;
        bool points = false;
        // Columns: entry of series i in pixel column x at [x * series.size() + i].
        std::vector<TrendSummary::Entry> columns;
        // Points: the rows' times, and value k of series i at [i * times.size() + k].
        std::vector<qint64> times;
        std::vector<double> values;
        qsizetype rowsRead = 0; // rows read from the table to make this
    };
    void decimate(qint64 t0, qint64 t1, int width, const QList<int> &series, bool allowPoints,
                  Decimation &out) const;

    // Minimum, maximum, sum and count of each given series over rows [first, last).
    void summarize(qsizetype first, qsizetype last, const QList<int> &series,
                   TrendSummary::Entry *out) const;

    // Memory held for the rows (times and summaries).
    size_t bytes() const;

signals:
    // The curves were set up afresh: the table's columns changed or the table was reset.
    void seriesChanged();
    void rowsAppended(qint64 first, qint64 last);
    // A series had its first number (the picker offers only curves with data).
    void valuesAppeared();

private:
    void rebuild();
    void onRowsInserted(const QModelIndex &parent, int first, int last);
    void ingest(qsizetype first, qsizetype last);

    template<typename BucketFn, typename RowFn>
    void traverse(qsizetype first, qsizetype last, int maxLevel, BucketFn bucket, RowFn row) const;

    QPointer<RDModel> m_model;
    TrendCatalogue m_catalogue;
    TrendRowClock m_clock;
    TrendTimes m_times;
    TrendSummary m_summary;
    std::vector<bool> m_hasValues;
    int m_seriesWithValues = 0;

    // Scratch for reading rows.
    mutable std::vector<double> m_sourceValues;
    mutable std::vector<double> m_rowValues;
};
