#pragma once

#include "alarms/alarmevent.h"

#include <QFrame>
#include <QList>

class QLabel;
class QPushButton;

// A strip above the tabs while alarms are active: the most severe, newest alarm's message and
// time on the severity's colour, and how many alarms are active. Hidden while none is.
class AlarmBanner : public QFrame
{
    Q_OBJECT

public:
    explicit AlarmBanner(QWidget *parent = nullptr);

    void setLanguage(int language);
    void setActiveAlarms(const QList<AlarmEvent> &active);

    // The alarm shown: the newest of the most severe ones.
    static AlarmEvent headline(const QList<AlarmEvent> &active);

    QString messageText() const;
    QString countText() const;

signals:
    // The user asks for the events list.
    void eventsRequested();

private:
    void refresh();

    int m_language = 0;
    QList<AlarmEvent> m_active;
    QLabel *m_message = nullptr;
    QLabel *m_count = nullptr;
    QPushButton *m_events = nullptr;
};
