#pragma once

#include "alarms/alarmevent.h"

#include <QList>
#include <QWidget>

class QPushButton;
class QTableWidget;

// The alarms raised and cleared, newest first, with time, kind, severity, rule, value, cell and
// message. Each entry stays unacknowledged (shown bold) until the user acknowledges it.
class AlarmEventList : public QWidget
{
    Q_OBJECT

public:
    enum Column { Time, Kind, Severity, Rule, Value, Cell, Message, Acknowledged, ColumnCount };

    explicit AlarmEventList(QWidget *parent = nullptr);

    void setLanguage(int language);
    // The newest entries are kept; the oldest go beyond this many.
    void setCapacity(int capacity);

    int count() const { return int(m_entries.size()); }
    int unacknowledgedCount() const;
    // Entry i, newest first.
    AlarmEvent eventAt(int i) const { return m_entries.at(i).event; }
    bool isAcknowledged(int i) const { return m_entries.at(i).acknowledged; }
    QTableWidget *table() const { return m_table; }

public slots:
    void addEvent(const AlarmEvent &event);
    void acknowledgeSelected();
    void acknowledgeAll();
    void clear();

signals:
    void unacknowledgedCountChanged(int count);

private:
    struct Entry
    {
        AlarmEvent event;
        bool acknowledged = false;
    };
    void fillRow(int row);
    void retranslate();

    int m_language = 0;
    int m_capacity = 1000;
    QList<Entry> m_entries; // newest first, as the rows
    QTableWidget *m_table = nullptr;
    QPushButton *m_acknowledge = nullptr;
    QPushButton *m_acknowledgeAll = nullptr;
    QPushButton *m_clear = nullptr;
};
