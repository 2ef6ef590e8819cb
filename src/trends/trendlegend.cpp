#include "trends/trendlegend.h"

#include "trends/trenddata.h"
#include "trends/trendpalette.h"
#include "trends/trendticks.h"

#include <QFontMetrics>
#include <QHeaderView>

#include <cmath>

TrendLegend::TrendLegend(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(ColumnCount);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    // Columns sized when the curves change, not to every new value: sizing to contents lays out
    // every cell's text again for each value that changes.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSectionResizeMode(Name, QHeaderView::Stretch);
    setStatisticsShown(false);
    retranslate();
}

QString TrendLegend::translated(const QString &text) const
{
    if (!m_translator)
        return text;
    const QString result = m_translator(text);
    return result.isEmpty() ? text : result;
}

void TrendLegend::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
    retranslate();
}

void TrendLegend::retranslate()
{
    setHeaderLabels({translated(QStringLiteral("曲线")), translated(QStringLiteral("单位")),
                     translated(QStringLiteral("数值")), QStringLiteral("Δ"),
                     translated(QStringLiteral("最小")), translated(QStringLiteral("最大")),
                     translated(QStringLiteral("平均"))});
    fitColumns();
    if (!m_data)
        return;
    for (int row = 0; row < topLevelItemCount() && row < m_series.size(); ++row)
        topLevelItem(row)->setText(Name, translated(m_data->series().at(m_series.at(row)).name));
}

void TrendLegend::setSeries(TrendData *data, const QList<int> &series)
{
    m_data = data;
    m_series = series;
    clear();
    if (!data)
        return;
    for (int s : series) {
        const TrendSeries &info = data->series().at(s);
        auto *item = new QTreeWidgetItem(this);
        item->setIcon(Name, TrendPalette::swatch(TrendPalette::color(info)));
        item->setText(Name, translated(info.name));
        item->setText(Unit, info.unit);
        for (int c = Value; c < ColumnCount; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    fitColumns();
}

void TrendLegend::fitColumns()
{
    // Numbers get the room of a long reading; the unit and header texts what they need.
    const QFontMetrics metrics(font());
    const int number = metrics.horizontalAdvance(QStringLiteral("-00000.000")) + 16;
    resizeColumnToContents(Unit);
    for (int c = Value; c < ColumnCount; ++c) {
        const int headerWidth =
                QFontMetrics(header()->font()).horizontalAdvance(headerItem()->text(c)) + 24;
        setColumnWidth(c, qMax(number, headerWidth));
    }
}

void TrendLegend::setValues(const std::vector<double> &values)
{
    for (int row = 0; row < topLevelItemCount() && row < m_series.size(); ++row) {
        const size_t s = size_t(m_series.at(row));
        topLevelItem(row)->setText(
                Value, TrendTicks::formatValue(s < values.size() ? values[s] : std::nan("")));
    }
}

void TrendLegend::setStatistics(const std::vector<double> &deltas,
                                const std::vector<TrendSummary::Entry> &entries)
{
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = topLevelItem(row);
        const bool known = size_t(row) < entries.size() && entries[size_t(row)].count > 0;
        const TrendSummary::Entry e = known ? entries[size_t(row)] : TrendSummary::Entry();
        const double delta = size_t(row) < deltas.size() ? deltas[size_t(row)] : std::nan("");
        item->setText(Delta, TrendTicks::formatValue(delta));
        item->setText(Minimum,
                      known ? TrendTicks::formatValue(e.min)
                            : TrendTicks::formatValue(std::nan("")));
        item->setText(Maximum,
                      known ? TrendTicks::formatValue(e.max)
                            : TrendTicks::formatValue(std::nan("")));
        item->setText(Mean,
                      known ? TrendTicks::formatValue(e.sum / e.count)
                            : TrendTicks::formatValue(std::nan("")));
    }
}

void TrendLegend::setStatisticsShown(bool shown)
{
    for (int c = Delta; c < ColumnCount; ++c)
        setColumnHidden(c, !shown);
}

QString TrendLegend::text(int row, Column column) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->text(column) : QString();
}
