#pragma once

#include "protocol/tablecolumn.h"
#include "trends/trendseries.h"

#include <QList>
#include <QString>

#include <vector>

// The curves a table offers: every data column of the protocol's table, and the pack figures
// (total, highest, lowest, spread, mean cell voltage, current, temperatures, state of charge)
// computed from the row's own columns where the table has no column for them. Also where a
// row's time is found.
class TrendCatalogue
{
public:
    TrendCatalogue() = default;
    explicit TrendCatalogue(const QList<TableColumn> &columns);

    const QList<TrendSeries> &series() const { return m_series; }
    int size() const { return int(m_series.size()); }
    int indexOf(const QString &key) const;

    // The table columns a row's values are read from, ascending.
    const std::vector<int> &sourceColumns() const { return m_sources; }
    // Every series' value from the numbers of the source columns (NaN where missing).
    void evaluate(const double *sources, double *values) const;

    // The system columns of date and time (-1 when absent) and the date's format.
    int dateColumn() const { return m_dateColumn; }
    int timeColumn() const { return m_timeColumn; }
    QString dateFormat() const { return m_dateFormat; }

    // "Name (unit)" headers: the name, and the unit in *unit (empty without parentheses).
    static QString splitHeader(const QString &header, QString *unit);

    // Cells count toward the pack figures within this window, in mV.
    static constexpr double kMinCellMilliVolts = 1000.0;
    static constexpr double kMaxCellMilliVolts = 5000.0;

private:
    void addDerived(TrendDerived kind, const QString &key, const QString &name, const QString &unit,
                    TrendGroup group);

    QList<TrendSeries> m_series;
    std::vector<int> m_sources;
    std::vector<int> m_sourceOf; // per series: index into the source numbers, -1 when derived
    std::vector<int> m_cells; // source indexes of the cell voltages
    std::vector<int> m_temps; // source indexes of the temperature probes
    int m_charge = -1;
    int m_discharge = -1;
    int m_remaining = -1;
    int m_full = -1;
    int m_dateColumn = -1;
    int m_timeColumn = -1;
    QString m_dateFormat;
};
