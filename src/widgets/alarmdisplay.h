#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AlarmBanner;
class AlarmEventList;
class AlarmFieldMarker;
class AlarmMonitor;
class AlarmNotifier;
class AlarmSettingsDialog;
class QDialog;
class QAction;
class QToolButton;
class QWidget;

// Everything a window shows of one pack's alarms, fed by its monitor: the banner, the events
// list (in a window of its own), the red frames of affected value fields, desktop notifications,
// and the settings dialog that edits the user's rules. The window only places the banner and the
// button and passes on its language.
class AlarmDisplay : public QObject
{
    Q_OBJECT

public:
    // window: where value fields are looked up and notifications come from; also the parent.
    AlarmDisplay(AlarmMonitor *monitor, QWidget *window);

    AlarmBanner *banner() const { return m_banner; }
    // "报警设置…": opens the settings dialog; its menu also offers the events list. Marked when
    // rules were refused, with the reasons in its tooltip.
    QToolButton *settingsButton() const { return m_settingsButton; }
    AlarmEventList *eventList() const { return m_eventList; }
    QDialog *eventsWindow() const { return m_eventsWindow; }
    AlarmSettingsDialog *settingsDialog() const { return m_settings; }

    void setLanguage(int language);
    // Where the settings dialog saves the user's rules.
    void setUserFilePath(const QString &path) { m_userFile = path; }
    QString userFilePath() const { return m_userFile; }
    bool alarmColumnShown() const { return m_alarmColumn; }
    void setAlarmColumnShown(bool shown);

public slots:
    void showEvents();
    // Opens the settings dialog on the monitor's rules (not modal); applying hands the new user
    // rules to the monitor.
    void showSettings();

signals:
    void alarmColumnShownChanged(bool shown);

private:
    void onActiveChanged();
    void retranslate();

    QPointer<AlarmMonitor> m_monitor;
    QWidget *m_window = nullptr;
    AlarmBanner *m_banner = nullptr;
    QToolButton *m_settingsButton = nullptr;
    QAction *m_settingsAction = nullptr;
    QAction *m_eventsAction = nullptr;
    QDialog *m_eventsWindow = nullptr;
    AlarmEventList *m_eventList = nullptr;
    AlarmFieldMarker *m_marker = nullptr;
    AlarmNotifier *m_notifier = nullptr;
    AlarmSettingsDialog *m_settings = nullptr;
    QString m_userFile;
    bool m_alarmColumn = false;
    int m_language = 0;
};
