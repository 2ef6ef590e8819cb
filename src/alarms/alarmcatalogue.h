#pragma once

#include "alarms/alarmrulefile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class ProtocolConfig;

// The values a protocol's value maps carry (its segments and the derived figures), with what
// alarms need to know of each: unit, caption and main-window field.
class AlarmCatalogue
{
public:
    struct Entry
    {
        QString key;
        QString unit;
        QString label; // Chinese caption, translated where shown
        QString field; // main-window value field (data_<key>), or empty
        bool numeric = true;
    };

    AlarmCatalogue() = default;
    static AlarmCatalogue fromProtocol(const ProtocolConfig &config);

    // Every key the value processing adds to a value map besides the segments.
    static QStringList derivedKeys();
    // N for "VcellN" (N >= 1), else 0.
    static int cellNumber(const QString &key);
    // "电芯N", the cell's caption.
    static QString cellLabel(int cell);

    bool isEmpty() const { return m_entries.isEmpty(); }
    bool contains(const QString &key) const { return m_index.contains(key); }
    // The entry of a key; for an unknown key, one with the key as its caption (a cell's caption
    // for VcellN) and no unit.
    Entry entry(const QString &key) const;
    // Segments in file order, then the derived figures.
    QStringList keys() const;
    QList<int> cellNumbers() const { return m_cells; }

    void addEntry(const Entry &entry);

    // The rules this protocol can evaluate, and a reason for each other one (a value it does not
    // carry, a value that is always a text, an every-cell rule without cells). An empty
    // catalogue takes every rule.
    AlarmRuleList check(const QList<AlarmRule> &rules) const;

private:
    QList<Entry> m_entries;
    QHash<QString, int> m_index;
    QList<int> m_cells;
};
