#include "widgets/alarmdisplay.h"

#include "alarms/alarmmonitor.h"
#include "alarms/alarmproblem.h"
#include "dialogs/alarmsettingsdialog.h"
#include "i18n/translations.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmeventlist.h"
#include "widgets/alarmfieldmarker.h"
#include "widgets/alarmnotifier.h"

#include <QDialog>
#include <QPushButton>
#include <QVBoxLayout>

AlarmDisplay::AlarmDisplay(AlarmMonitor *monitor, QWidget *window)
    : QObject(window),
      m_monitor(monitor),
      m_window(window),
      m_banner(new AlarmBanner(window)),
      m_settingsButton(new QPushButton(window)),
      m_eventsWindow(new QDialog(window)),
      m_eventList(new AlarmEventList(m_eventsWindow)),
      m_marker(new AlarmFieldMarker(window)),
      m_notifier(new AlarmNotifier(window))
{
    m_settingsButton->setObjectName(QStringLiteral("alarmSettingsButton"));
    m_settingsButton->setCursor(Qt::PointingHandCursor);
    m_eventsWindow->setObjectName(QStringLiteral("alarmEventsWindow"));
    (new QVBoxLayout(m_eventsWindow))->addWidget(m_eventList);
    m_eventsWindow->resize(900, 360);

    connect(m_monitor, &AlarmMonitor::raised, m_eventList, &AlarmEventList::addEvent);
    connect(m_monitor, &AlarmMonitor::cleared, m_eventList, &AlarmEventList::addEvent);
    connect(m_monitor, &AlarmMonitor::raised, m_notifier, &AlarmNotifier::notify);
    connect(m_monitor, &AlarmMonitor::activeChanged, this, &AlarmDisplay::onActiveChanged);
    connect(m_banner, &AlarmBanner::eventsRequested, this, &AlarmDisplay::showEvents);
    connect(m_settingsButton, &QPushButton::clicked, this, &AlarmDisplay::showSettings);
    retranslate();
    onActiveChanged();
}

void AlarmDisplay::setLanguage(int language)
{
    m_language = language;
    m_banner->setLanguage(language);
    m_eventList->setLanguage(language);
    m_notifier->setLanguage(language);
    if (m_settings)
        m_settings->setLanguage(language);
    retranslate();
}

void AlarmDisplay::retranslate()
{
    m_settingsButton->setText(translateOr(m_language, QStringLiteral("报警设置…"),
                                          QStringLiteral("Alarm settings…")));
    m_eventsWindow->setWindowTitle(
            translateOr(m_language, QStringLiteral("报警记录"), QStringLiteral("Alarm Events")));
}

void AlarmDisplay::setAlarmColumnShown(bool shown)
{
    if (m_alarmColumn == shown)
        return;
    m_alarmColumn = shown;
    emit alarmColumnShownChanged(shown);
}

void AlarmDisplay::onActiveChanged()
{
    if (!m_monitor)
        return;
    m_banner->setActiveAlarms(m_monitor->activeAlarms());
    m_marker->setMarkedFields(m_monitor->activeFields());
}

void AlarmDisplay::showEvents()
{
    m_eventsWindow->show();
    m_eventsWindow->raise();
    m_eventsWindow->activateWindow();
}

void AlarmDisplay::showSettings()
{
    if (!m_monitor)
        return;
    if (!m_settings) {
        m_settings = new AlarmSettingsDialog(m_window);
        connect(m_settings, &AlarmSettingsDialog::applied, this,
                [this](const QList<AlarmRule> &userRules, bool alarmColumn) {
                    if (m_monitor)
                        m_monitor->setUserRules(userRules);
                    setAlarmColumnShown(alarmColumn);
                });
    }
    // Fresh from the monitor each time: the protocol may have changed since.
    m_settings->setLanguage(m_language);
    m_settings->setUserFilePath(m_userFile);
    m_settings->setRules(m_monitor->defaultRules(), m_monitor->userRules(), m_monitor->catalogue());
    m_settings->setAlarmColumnShown(m_alarmColumn);
    // Rules refused on reading the files, not those the protocol cannot evaluate (the dialog
    // finds those itself).
    AlarmProblems refused;
    const AlarmProblems problems = m_monitor->problems();
    for (const AlarmProblem &p : problems) {
        if (!p.source.isEmpty())
            refused.append(p);
    }
    m_settings->setLoadProblems(refused);
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}
