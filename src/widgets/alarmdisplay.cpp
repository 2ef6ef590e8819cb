#include "widgets/alarmdisplay.h"

#include "alarms/alarmmonitor.h"
#include "alarms/alarmproblem.h"
#include "dialogs/alarmsettingsdialog.h"
#include "i18n/translations.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmeventlist.h"
#include "widgets/alarmfieldmarker.h"
#include "widgets/alarmnotifier.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

AlarmDisplay::AlarmDisplay(AlarmMonitor *monitor, QWidget *window)
    : QObject(window),
      m_monitor(monitor),
      m_window(window),
      m_banner(new AlarmBanner(window)),
      m_settingsButton(new QToolButton(window)),
      m_settingsAction(new QAction(this)),
      m_eventsAction(new QAction(this)),
      m_eventsWindow(new QDialog(window)),
      m_eventList(new AlarmEventList(m_eventsWindow)),
      m_marker(new AlarmFieldMarker(window)),
      m_notifier(new AlarmNotifier(window))
{
    m_settingsButton->setObjectName(QStringLiteral("alarmSettingsButton"));
    m_settingsButton->setCursor(Qt::PointingHandCursor);
    m_settingsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_settingsButton->setPopupMode(QToolButton::MenuButtonPopup);
    auto *menu = new QMenu(m_settingsButton);
    menu->addAction(m_settingsAction);
    menu->addAction(m_eventsAction);
    m_settingsButton->setMenu(menu);
    m_settingsButton->setDefaultAction(m_settingsAction);
    m_eventsWindow->setObjectName(QStringLiteral("alarmEventsWindow"));
    (new QVBoxLayout(m_eventsWindow))->addWidget(m_eventList);
    m_eventsWindow->resize(900, 360);

    connect(m_monitor, &AlarmMonitor::raised, m_eventList, &AlarmEventList::addEvent);
    connect(m_monitor, &AlarmMonitor::cleared, m_eventList, &AlarmEventList::addEvent);
    connect(m_monitor, &AlarmMonitor::raised, m_notifier, &AlarmNotifier::notify);
    connect(m_monitor, &AlarmMonitor::activeChanged, this, &AlarmDisplay::onActiveChanged);
    connect(m_banner, &AlarmBanner::eventsRequested, this, &AlarmDisplay::showEvents);
    connect(m_settingsAction, &QAction::triggered, this, &AlarmDisplay::showSettings);
    connect(m_eventsAction, &QAction::triggered, this, &AlarmDisplay::showEvents);
    connect(m_monitor, &AlarmMonitor::rulesChanged, this, &AlarmDisplay::retranslate);
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
    const QString settings =
            translateOr(m_language, QStringLiteral("报警设置…"), QStringLiteral("Alarm settings…"));
    const AlarmProblems problems = m_monitor ? m_monitor->problems() : AlarmProblems();
    QStringList reasons;
    for (const AlarmProblem &p : problems)
        reasons.append(p.text(m_language));
    // A refused rule is easy to miss: say so on the button that leads to it.
    m_settingsAction->setText(reasons.isEmpty() ? settings : QStringLiteral("⚠ ") + settings);
    m_settingsAction->setToolTip(reasons.join(QLatin1Char('\n')));
    m_eventsAction->setText(
            translateOr(m_language, QStringLiteral("报警记录…"), QStringLiteral("Alarm events…")));
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
