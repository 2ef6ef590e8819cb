#pragma once

#include "i18n/translations.h"
#include "trends/trendseries.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>

class TrendData;

// Chooses the curves: the table's series in four groups (cells, pack, temperatures, state),
// each with its colour. A group's box checks or clears all its curves in one click. Once the
// table has rows, curves that never had a number are left out. The choice is kept by key, so
// it survives a new table with the same columns.
class TrendPicker : public QTreeWidget
{
    Q_OBJECT

public:
    explicit TrendPicker(QWidget *parent = nullptr);

    void setData(TrendData *data);
    void setTranslator(const TextTranslator &translator);

    // The checked curves, in the data's order.
    QList<int> checkedSeries() const;
    QStringList checkedKeys() const { return m_checkedKeys; }
    void setCheckedKeys(const QStringList &keys);
    void setGroupChecked(TrendGroup group, bool checked);

    QTreeWidgetItem *groupItem(TrendGroup group) const;
    QTreeWidgetItem *seriesItem(int series) const;

    static QString groupName(TrendGroup group);

signals:
    void checkedSeriesChanged();

private:
    void rebuild();
    void refreshVisibility();
    void retranslate();
    void onItemChanged(QTreeWidgetItem *item, int column);
    void applyChecks();
    QStringList defaultKeys() const;
    QString translated(const QString &text) const;

    QPointer<TrendData> m_data;
    TextTranslator m_translator;
    QStringList m_checkedKeys;
    bool m_defaultApplied = false;
    QList<QTreeWidgetItem *> m_groups;
    QList<QTreeWidgetItem *> m_items; // by series index
    bool m_updating = false;
};
