// The main window's alarm wiring: the monitor on every decoded frame, its display placed in the
// window, the table's alarm column.

#include "app/mainwindow.h"

#include "alarms/alarmmonitor.h"
#include "alarms/alarmrulefile.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "ui_mainwindow.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmdisplay.h"

#include <QToolButton>

#ifdef CELLSCRIBE_HAVE_MQTT
#include "dialogs/mqttpublishcontrol.h"
#include "publish/mqttalarm.h"
#include "publish/mqttpublisher.h"
#endif

void MainWindow::setupAlarms()
{
    m_alarms = new AlarmMonitor(this);
    m_alarmDisplay = new AlarmDisplay(m_alarms, this);
    m_alarmDisplay->setUserFilePath(AlarmRuleFile::userFilePath());
    m_alarmDisplay->setLanguage(m_language);
    // The banner above the tabs, the button after the acquisition switch.
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->tabWidget),
                                     m_alarmDisplay->banner());
    ui->horizontalLayout->insertWidget(ui->horizontalLayout->indexOf(ui->openCom) + 1,
                                       m_alarmDisplay->settingsButton());
    connect(m_alarmDisplay, &AlarmDisplay::alarmColumnShownChanged, this, [this](bool shown) {
        showAlarmColumn(shown);
        saveSettings();
    });
    loadAlarmRules();
#ifdef CELLSCRIBE_HAVE_MQTT
    // Raises and clears go to the broker too, while publishing runs.
    const auto publish = [this](const AlarmEvent &event) {
        if (m_mqtt && m_mqtt->publisher())
            m_mqtt->publisher()->publishAlarm(MqttAlarm::fromEvent(event, m_language));
    };
    connect(m_alarms, &AlarmMonitor::raised, this, publish);
    connect(m_alarms, &AlarmMonitor::cleared, this, publish);
#endif
}

void MainWindow::loadAlarmRules()
{
    if (!m_alarms || !protocolConfig)
        return;
    m_alarms->load(*protocolConfig, protocolConfig->filePath(), m_alarmDisplay->userFilePath());
}

void MainWindow::showAlarmColumn(bool shown)
{
    if (!m_tableModel)
        return;
    if (shown)
        m_tableModel->setAlarmColumn([this] { return m_alarms->activeShortNames(); });
    else
        m_tableModel->setAlarmColumn({});
}
