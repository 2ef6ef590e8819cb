#include "trends/trenddata.h"

#include "datalog/cellstore.h"
#include "datalog/rdmodel.h"
#include "trends/trendslog.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

TrendData::TrendData(QObject *parent) : QObject(parent) { }

TrendData::~TrendData() = default;

void TrendData::setModel(RDModel *model)
{
    if (m_model == model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &TrendData::onRowsInserted);
        connect(model, &QAbstractItemModel::modelReset, this, &TrendData::rebuild);
        // The table only grows or resets; anything else is taken in from scratch.
        connect(model, &QAbstractItemModel::rowsRemoved, this, &TrendData::rebuild);
        connect(model, &QAbstractItemModel::rowsMoved, this, &TrendData::rebuild);
        connect(model, &QAbstractItemModel::layoutChanged, this, &TrendData::rebuild);
        connect(model, &QObject::destroyed, this, &TrendData::rebuild);
    }
    rebuild();
}

RDModel *TrendData::model() const
{
    return m_model.data();
}

bool TrendData::hasValues(int series) const
{
    return series >= 0 && size_t(series) < m_hasValues.size() && m_hasValues[size_t(series)];
}

void TrendData::rebuild()
{
    m_catalogue = m_model ? TrendCatalogue(m_model->columns()) : TrendCatalogue();
    m_clock.reset(m_catalogue.dateColumn() >= 0, m_catalogue.dateFormat(),
                  m_catalogue.timeColumn() >= 0);
    m_times.clear();
    m_summary.reset(m_catalogue.size());
    m_hasValues.assign(size_t(m_catalogue.size()), false);
    m_seriesWithValues = 0;
    m_sourceValues.assign(m_catalogue.sourceColumns().size(), 0.0);
    m_rowValues.assign(size_t(m_catalogue.size()), 0.0);
    const int rows = m_model ? m_model->rowCount() : 0;
    if (rows > 0)
        ingest(0, rows - 1);
    qCDebug(lcTrends) << "Trend series:" << m_catalogue.size() << "rows:" << rows;
    emit seriesChanged();
}

void TrendData::onRowsInserted(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid() || !m_model)
        return;
    if (first != m_times.size() || last < first) {
        rebuild();
        return;
    }
    const int seenBefore = m_seriesWithValues;
    ingest(first, last);
    emit rowsAppended(first, last);
    if (m_seriesWithValues != seenBefore)
        emit valuesAppeared();
}

void TrendData::ingest(qsizetype first, qsizetype last)
{
    const CellStore &store = m_model->cellStore();
    const std::vector<int> &sources = m_catalogue.sourceColumns();
    const int sourceCount = int(sources.size());
    const int seriesCount = m_catalogue.size();
    const int dateColumn = m_catalogue.dateColumn();
    const int timeColumn = m_catalogue.timeColumn();
    const int textCells = qMax(dateColumn, timeColumn) + 1;
    std::vector<CellStore::CellText> texts(size_t(qMax(1, textCells)));
    // Rows without a time of their own are stamped when they arrive.
    const qint64 arrival = QDateTime::currentMSecsSinceEpoch();
    auto textOf = [&texts](int column) {
        if (column < 0)
            return QByteArrayView();
        const CellStore::CellText &t = texts[size_t(column)];
        if (t.kind == CellStore::TextKind::Utf8)
            return t.utf8;
        if (t.kind == CellStore::TextKind::Number)
            return QByteArrayView(t.number, t.length);
        return QByteArrayView();
    };

    for (qsizetype row = first; row <= last; ++row) {
        qint64 time = arrival;
        if (m_clock.readsRows()) {
            const int cells = store.rowTexts(row, texts.data(), textCells);
            for (int c = cells; c < textCells; ++c)
                texts[size_t(c)].kind = CellStore::TextKind::Empty;
            time = m_clock.read(textOf(dateColumn), textOf(timeColumn), arrival);
            if (time == TrendRowClock::kInvalid)
                time = m_times.isEmpty() ? arrival : m_times.last();
        }
        m_times.append(time);

        store.rowNumbers(row, sources.data(), sourceCount, m_sourceValues.data());
        m_catalogue.evaluate(m_sourceValues.data(), m_rowValues.data());
        m_summary.append(m_rowValues.data());
        if (m_seriesWithValues < seriesCount) {
            for (int s = 0; s < seriesCount; ++s) {
                if (!m_hasValues[size_t(s)] && std::isfinite(m_rowValues[size_t(s)])) {
                    m_hasValues[size_t(s)] = true;
                    ++m_seriesWithValues;
                }
            }
        }
    }
}

void TrendData::rowValues(qsizetype row, double *out) const
{
    const std::vector<int> &sources = m_catalogue.sourceColumns();
    if (!m_model || row < 0 || row >= m_times.size()) {
        for (int s = 0; s < m_catalogue.size(); ++s)
            out[s] = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    m_model->cellStore().rowNumbers(row, sources.data(), int(sources.size()),
                                    m_sourceValues.data());
    m_catalogue.evaluate(m_sourceValues.data(), out);
}

// Visits rows [first, last) as the largest whole buckets (up to maxLevel) that fit, and single
// rows where none does: at the ends, and for the rows of the bucket still filling.
template<typename BucketFn, typename RowFn>
void TrendData::traverse(qsizetype first, qsizetype last, int maxLevel, BucketFn bucket,
                         RowFn row) const
{
    const qsizetype summarized = m_summary.summarizedRows();
    const int top = qMin(maxLevel, m_summary.levelCount() - 1);
    qsizetype r = first;
    while (r < last) {
        int chosen = -1;
        qsizetype size = 1;
        if (r < summarized) {
            for (int level = top; level >= 0; --level) {
                size = TrendSummary::bucketRows(level);
                const qsizetype index = r / size;
                if (r % size == 0 && r + size <= last && index < m_summary.bucketCount(level)) {
                    chosen = level;
                    break;
                }
            }
        }
        if (chosen < 0) {
            row(r);
            ++r;
        } else {
            bucket(chosen, r / size, r);
            r += size;
        }
    }
}

void TrendData::decimate(qint64 t0, qint64 t1, int width, const QList<int> &series,
                         bool allowPoints, Decimation &out) const
{
    out.t0 = t0;
    out.t1 = t1;
    out.width = 0; // until there are columns
    out.series = series;
    out.points = false;
    out.columns.clear();
    out.times.clear();
    out.values.clear();
    out.rowsRead = 0;
    const int n = int(series.size());
    if (width <= 0 || t1 <= t0 || m_times.isEmpty() || !m_model)
        return;

    const qsizetype first = m_times.lowerBound(t0);
    const qsizetype last = m_times.upperBound(t1);
    const qsizetype rows = last - first;
    std::vector<double> &values = m_rowValues;

    if (allowPoints && rows <= width) {
        out.points = true;
        const qsizetype from = qMax<qsizetype>(0, first - 1);
        const qsizetype to = qMin(m_times.size(), last + 1);
        const qsizetype count = to - from;
        out.times.resize(size_t(count));
        out.values.resize(size_t(count) * size_t(n));
        for (qsizetype k = 0; k < count; ++k) {
            out.times[size_t(k)] = m_times.at(from + k);
            rowValues(from + k, values.data());
            for (int i = 0; i < n; ++i)
                out.values[size_t(i) * size_t(count) + size_t(k)] = values[size_t(series.at(i))];
        }
        out.rowsRead = count;
        return;
    }

    out.width = width;
    out.columns.assign(size_t(width) * size_t(n), TrendSummary::Entry());
    if (rows <= 0 || n == 0)
        return;
    // The largest buckets that still fit a pixel column.
    const double rowsPerPixel = double(rows) / width;
    int maxLevel = -1;
    while (double(TrendSummary::bucketRows(maxLevel + 1)) <= rowsPerPixel)
        ++maxLevel;

    const double scale = double(width) / double(t1 - t0);
    auto columnOf = [&](qint64 t) {
        const auto x = qint64(double(t - t0) * scale);
        return int(qBound(qint64(0), x, qint64(width - 1)));
    };
    TrendSummary::Entry *columns = out.columns.data();
    const int *wanted = series.constData();
    qsizetype rowsRead = 0;
    traverse(
            first, last, maxLevel,
            [&](int level, qsizetype bucket, qsizetype firstRow) {
                const int x = columnOf(m_times.at(firstRow));
                m_summary.addBucket(level, bucket, wanted, n, columns + size_t(x) * size_t(n));
            },
            [&](qsizetype row) {
                const int x = columnOf(m_times.at(row));
                rowValues(row, values.data());
                TrendSummary::Entry *column = columns + size_t(x) * size_t(n);
                for (int i = 0; i < n; ++i) {
                    const double v = values[size_t(wanted[i])];
                    if (std::isfinite(v))
                        column[i].add(v);
                }
                ++rowsRead;
            });
    out.rowsRead = rowsRead;
}

void TrendData::summarize(qsizetype first, qsizetype last, const QList<int> &series,
                          TrendSummary::Entry *out) const
{
    const int n = int(series.size());
    for (int i = 0; i < n; ++i)
        out[i] = TrendSummary::Entry();
    first = qMax<qsizetype>(0, first);
    last = qMin(last, m_times.size());
    if (!m_model || first >= last || n == 0)
        return;
    const int *wanted = series.constData();
    std::vector<double> &values = m_rowValues;
    traverse(
            first, last, m_summary.levelCount() - 1,
            [&](int level, qsizetype bucket, qsizetype) {
                m_summary.addBucket(level, bucket, wanted, n, out);
            },
            [&](qsizetype row) {
                rowValues(row, values.data());
                for (int i = 0; i < n; ++i) {
                    const double v = values[size_t(wanted[i])];
                    if (std::isfinite(v))
                        out[i].add(v);
                }
            });
}

size_t TrendData::bytes() const
{
    return m_times.bytes() + m_summary.bytes() + m_hasValues.capacity() / 8
            + (m_sourceValues.capacity() + m_rowValues.capacity()) * sizeof(double);
}
