#pragma once

#include "i18n/translations.h"
#include "trends/trendsummary.h"

#include <QList>
#include <QPointer>
#include <QTreeWidget>

#include <vector>

class TrendData;

// The legend beside the plot: per curve its colour, name, unit and value at the cursor, and
// with the markers shown the change between them and the minimum, maximum and mean of the rows
// between them.
class TrendLegend : public QTreeWidget
{
    Q_OBJECT

public:
    enum Column { Name, Unit, Value, Delta, Minimum, Maximum, Mean, ColumnCount };

    explicit TrendLegend(QWidget *parent = nullptr);

    void setTranslator(const TextTranslator &translator);
    // One row per curve, in this order.
    void setSeries(TrendData *data, const QList<int> &series);
    const QList<int> &series() const { return m_series; }
    // Values of every series of the data (indexed by series); NaN shows as a dash.
    void setValues(const std::vector<double> &values);
    // Per row: the change from marker A to B and the statistics between them.
    void setStatistics(const std::vector<double> &deltas,
                       const std::vector<TrendSummary::Entry> &entries);
    void setStatisticsShown(bool shown);

    QString text(int row, Column column) const;

private:
    void retranslate();
    void fitColumns();
    QString translated(const QString &text) const;

    QPointer<TrendData> m_data;
    QList<int> m_series;
    TextTranslator m_translator;
};
