// Recordings: the controller that keeps and shows them, joined to the engine and the table tab.

#include "app/mainwindow.h"
#include "recordingui/recordingcontroller.h"
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
}
