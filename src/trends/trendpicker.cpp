#include "trends/trendpicker.h"

#include "trends/trenddata.h"
#include "trends/trendpalette.h"

#include <QHeaderView>

#include <iterator>

namespace {

constexpr TrendGroup kGroups[] = {TrendGroup::Cells, TrendGroup::Pack, TrendGroup::Temperatures,
                                  TrendGroup::State};
constexpr int kSeriesRole = Qt::UserRole;

} // namespace

TrendPicker::TrendPicker(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setMinimumWidth(140);
    connect(this, &QTreeWidget::itemChanged, this, &TrendPicker::onItemChanged);
}

QString TrendPicker::groupName(TrendGroup group)
{
    switch (group) {
    case TrendGroup::Cells:
        return QStringLiteral("各电芯");
    case TrendGroup::Pack:
        return QStringLiteral("电池组");
    case TrendGroup::Temperatures:
        return QStringLiteral("温度");
    case TrendGroup::State:
        return QStringLiteral("状态");
    }
    return QString();
}

QString TrendPicker::translated(const QString &text) const
{
    if (!m_translator)
        return text;
    const QString result = m_translator(text);
    return result.isEmpty() ? text : result;
}

void TrendPicker::setData(TrendData *data)
{
    if (m_data == data)
        return;
    if (m_data)
        disconnect(m_data, nullptr, this, nullptr);
    m_data = data;
    if (data) {
        connect(data, &TrendData::seriesChanged, this, &TrendPicker::rebuild);
        connect(data, &TrendData::valuesAppeared, this, &TrendPicker::refreshVisibility);
        // The first rows of an empty table decide which curves have numbers.
        connect(data, &TrendData::rowsAppended, this, [this](qint64 first) {
            if (first == 0)
                refreshVisibility();
        });
    }
    rebuild();
}

void TrendPicker::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
    retranslate();
}

QStringList TrendPicker::defaultKeys() const
{
    QStringList keys;
    if (!m_data)
        return keys;
    for (const TrendSeries &s : m_data->series()) {
        if (s.group == TrendGroup::Cells || s.key == QLatin1String("data_current"))
            keys.append(s.key);
    }
    if (keys.isEmpty() && m_data->seriesCount() > 0)
        keys.append(m_data->series().first().key);
    return keys;
}

void TrendPicker::rebuild()
{
    m_updating = true;
    clear();
    m_groups.clear();
    m_items.clear();
    const QList<TrendSeries> series = m_data ? m_data->series() : QList<TrendSeries>();
    for (size_t g = 0; g < std::size(kGroups); ++g) {
        auto *item = new QTreeWidgetItem(this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, kSeriesRole, -1);
        m_groups.append(item);
    }
    for (int i = 0; i < series.size(); ++i) {
        const TrendSeries &s = series.at(i);
        auto *item = new QTreeWidgetItem(m_groups.at(int(s.group)));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, kSeriesRole, i);
        item->setIcon(0, TrendPalette::swatch(TrendPalette::color(s)));
        m_items.append(item);
    }
    // Keep what was chosen where the new table has it; otherwise start from the default (but
    // a choice of nothing stays nothing).
    if (!series.isEmpty()) {
        bool anyKnown = false;
        for (const QString &key : std::as_const(m_checkedKeys))
            anyKnown = anyKnown || m_data->catalogue().indexOf(key) >= 0;
        if (!m_defaultApplied || (!anyKnown && !m_checkedKeys.isEmpty()))
            m_checkedKeys = defaultKeys();
        m_defaultApplied = true;
    }
    m_updating = false;
    applyChecks();
    retranslate();
    refreshVisibility();
    expandAll();
    emit checkedSeriesChanged();
}

void TrendPicker::applyChecks()
{
    m_updating = true;
    for (QTreeWidgetItem *item : std::as_const(m_items)) {
        const int index = item->data(0, kSeriesRole).toInt();
        const bool checked = m_checkedKeys.contains(m_data->series().at(index).key);
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    m_updating = false;
}

void TrendPicker::refreshVisibility()
{
    if (!m_data)
        return;
    // Before any row, every column may still bring numbers.
    const bool judge = m_data->rowCount() > 0;
    for (QTreeWidgetItem *item : std::as_const(m_items)) {
        const int index = item->data(0, kSeriesRole).toInt();
        item->setHidden(judge && !m_data->hasValues(index));
    }
    for (QTreeWidgetItem *group : std::as_const(m_groups)) {
        bool any = false;
        for (int c = 0; c < group->childCount(); ++c)
            any = any || !group->child(c)->isHidden();
        group->setHidden(!any);
    }
}

void TrendPicker::retranslate()
{
    m_updating = true;
    for (int g = 0; g < m_groups.size(); ++g)
        m_groups.at(g)->setText(0, translated(groupName(kGroups[g])));
    for (QTreeWidgetItem *item : std::as_const(m_items)) {
        const TrendSeries &s = m_data->series().at(item->data(0, kSeriesRole).toInt());
        item->setText(0, translated(s.name));
        item->setToolTip(0,
                         s.unit.isEmpty()
                                 ? translated(s.name)
                                 : QStringLiteral("%1 (%2)").arg(translated(s.name), s.unit));
    }
    m_updating = false;
}

void TrendPicker::onItemChanged(QTreeWidgetItem *item, int column)
{
    Q_UNUSED(item)
    Q_UNUSED(column)
    if (m_updating || !m_data)
        return;
    QStringList keys;
    for (QTreeWidgetItem *child : std::as_const(m_items)) {
        if (child->checkState(0) == Qt::Checked)
            keys.append(m_data->series().at(child->data(0, kSeriesRole).toInt()).key);
    }
    if (keys == m_checkedKeys)
        return;
    m_checkedKeys = keys;
    emit checkedSeriesChanged();
}

QList<int> TrendPicker::checkedSeries() const
{
    QList<int> series;
    if (!m_data)
        return series;
    for (int i = 0; i < m_data->seriesCount(); ++i) {
        if (m_checkedKeys.contains(m_data->series().at(i).key))
            series.append(i);
    }
    return series;
}

void TrendPicker::setCheckedKeys(const QStringList &keys)
{
    m_checkedKeys = keys;
    m_defaultApplied = true;
    applyChecks();
    emit checkedSeriesChanged();
}

void TrendPicker::setGroupChecked(TrendGroup group, bool checked)
{
    if (QTreeWidgetItem *item = groupItem(group))
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

QTreeWidgetItem *TrendPicker::groupItem(TrendGroup group) const
{
    const int index = int(group);
    return index < m_groups.size() ? m_groups.at(index) : nullptr;
}

QTreeWidgetItem *TrendPicker::seriesItem(int series) const
{
    return series >= 0 && series < m_items.size() ? m_items.at(series) : nullptr;
}
