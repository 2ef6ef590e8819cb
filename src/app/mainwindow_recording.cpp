// Recordings: the controller that keeps and shows them, joined to the engine and the table tab.

#include "alarms/alarmevent.h"
#include "alarms/alarmmonitor.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "recording/recordingsession.h"
#include "recordingui/recordingcontroller.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

void MainWindow::setupRecording()
{
    RecordingController::Parts parts;
    parts.engine = m_engine;
    parts.table = ui->tableView;
    parts.toolRow = ui->horizontalLayout_5;
    parts.tableArea = ui->verticalLayout_3;
    parts.errorLine = ui->err_info;
    parts.window = this;
    m_recording = new RecordingController(parts, this);
    m_recording->setLanguage(m_language);
    // While a recording is shown the table is not live: nothing may start or switch under it.
    connect(m_recording, &RecordingController::liveBlocked, this, [this](bool blocked) {
        ui->openCom->setEnabled(!blocked);
        ui->protocolSelector->setEnabled(!blocked);
    });
    // The trend tab shows what the table shows: a recording opened from file too.
    if (m_trendView)
        connect(m_recording, &RecordingController::shownModelChanged, m_trendView,
                &TrendView::setModel);
    // Alarm raises and clears belong to the run's record.
    if (m_alarms) {
        const auto store = [this](const AlarmEvent &event) {
            m_recording->session()->writeEvent(event.timeMs, event.kindName(), event.toJson());
        };
        connect(m_alarms, &AlarmMonitor::raised, this, store);
        connect(m_alarms, &AlarmMonitor::cleared, this, store);
    }
}
