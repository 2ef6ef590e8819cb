#pragma once

#include "alarms/alarmevent.h"

#include <QObject>
#include <QPointer>

class QSystemTrayIcon;
class QWidget;

// A desktop notification for each alarm raised while the window is not the active one (the user
// looks elsewhere); nothing while it is, as the banner shows it there.
class AlarmNotifier : public QObject
{
    Q_OBJECT

public:
    explicit AlarmNotifier(QWidget *window);

    void setLanguage(int language) { m_language = language; }

    // Whether a raised alarm is to be announced now: the window is not active, and the desktop
    // has a notification area.
    bool wanted() const;
    // Shows the notification when wanted; true when it did.
    bool notify(const AlarmEvent &event);

private:
    QPointer<QWidget> m_window;
    QSystemTrayIcon *m_tray = nullptr;
    int m_language = 0;
};
