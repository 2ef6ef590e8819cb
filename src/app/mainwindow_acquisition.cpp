// Starting and stopping acquisition: checks, opening the port, the clock and periodic polling.

#include "acquisition/acquisitionengine.h"
#include "app/applog.h"
#include "app/mainwindow.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolmanager.h"
#include "serial/statusbarmanager.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDateTime>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

void MainWindow::updateActiveCommand()
{
    if (!protocolConfig) {
        if (!activeCommandName.isEmpty())
            qCDebug(lcApp) << "Clearing active command because protocol config is null";
        activeCommandName.clear();
        return;
    }
    const QString candidate = AcquisitionEngine::defaultCommand(protocolConfig);
    if (candidate.isEmpty()) {
        if (!activeCommandName.isEmpty())
            qCWarning(lcApp) << "Active command cleared because protocol" << protocolConfig->name()
                             << "does not define a valid request";
        else
            qCWarning(lcApp) << "Protocol" << protocolConfig->name()
                             << "does not define a valid request command";
        activeCommandName.clear();
        return;
    }
    if (candidate != activeCommandName) {
        activeCommandName = candidate;
        qCDebug(lcApp) << "Active request command set to" << activeCommandName;
    }
}

qint32 MainWindow::parseTimerInterval(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+)\\s*(ms|s|min)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return -1;
    bool ok = false;
    qint32 n = match.captured(1).toInt(&ok);
    if (!ok)
        n = 0;
    const QString unit = match.captured(2);
    // Wrapping 32-bit arithmetic, computed unsigned to stay defined.
    if (unit == QLatin1String("ms"))
        return n;
    if (unit == QLatin1String("s"))
        return qint32(quint32(n) * 1000u);
    if (unit == QLatin1String("min"))
        return qint32(quint32(n) * 60000u);
    return -1;
}

void MainWindow::updateDateTime()
{
    if (!ui || !ui->lblDateTime) {
        qCWarning(lcApp) << "lblDateTime is null!";
        return;
    }
    ui->lblDateTime->setText(
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void MainWindow::switchOff()
{
    ui->openCom->setChecked(false);
}

void MainWindow::SendTaskRun()
{
    qCDebug(lcApp) << "=== SendTaskRun START ===";
    if (!ui) {
        qCCritical(lcApp) << "SendTaskRun: ui is NULL!";
        return;
    }
    if (!ui->openCom || !ui->portName || !ui->bard || !ui->proid) {
        qCCritical(lcApp) << "SendTaskRun: UI elements not initialized!";
        return;
    }
    const QString errorTitle = tr2(QStringLiteral("错误"), QStringLiteral("Error"));
    if (!protocolConfig) {
        QMessageBox::critical(this, errorTitle,
                              tr2(QStringLiteral("没有加载协议配置，请先选择协议！"),
                                  QStringLiteral("No protocol configuration loaded. Please select "
                                                 "a protocol first.")));
        switchOff();
        return;
    }
    updateActiveCommand();
    if (activeCommandName.isEmpty()) {
        qCDebug(lcApp) << "activeCommandName is empty!";
        QMessageBox::critical(
                this, errorTitle,
                tr2(QStringLiteral("当前协议未定义有效的请求指令，请检查协议配置。"),
                    QStringLiteral("The selected protocol does not define a valid request "
                                   "command. Please review the protocol configuration.")));
        switchOff();
        return;
    }
    if (!protocolManager) {
        QMessageBox::critical(this, errorTitle,
                              tr2(QStringLiteral("协议管理器未初始化！"),
                                  QStringLiteral("Protocol manager is not initialized.")));
        switchOff();
        return;
    }
    currentConnectedPortName = selectedPortName();
    qCDebug(lcApp) << "currentConnectedPortName:" << currentConnectedPortName;
    if (!m_engine) {
        qCCritical(lcApp) << "Serial interface is null!";
        QMessageBox::critical(this, errorTitle,
                              tr2(QStringLiteral("串口接口未初始化！"),
                                  QStringLiteral("Serial interface is not initialized.")));
        switchOff();
        return;
    }

    int baudIndex = ui->bard->currentIndex();
    if (baudIndex < 0) {
        qCWarning(lcApp) << "Invalid baud rate index, using default";
        baudIndex = 0;
    }
    AcquisitionSettings settings;
    settings.port = currentConnectedPortName;
    settings.baudRate = ui->bard->itemData(baudIndex).toInt();
    settings.intervalMs = parseTimerInterval(ui->proid->currentText());
    if (settings.intervalMs < 1) {
        qCWarning(lcApp) << "Invalid timer interval, using default 1000ms";
        settings.intervalMs = 1000;
    }
    settings.command = activeCommandName;
    settings.reconnect = m_autoReconnect && m_autoReconnect->isChecked();
    qCDebug(lcApp) << "baudRateIndex:" << baudIndex << "selectedBaudRate:" << settings.baudRate;

    // The engine reports a successful open (onAcquisitionStarted) before its first request.
    if (!m_engine->start(settings)) {
        if (m_engine->startError() == AcquisitionEngine::StartError::OpenException) {
            const QString what = m_engine->lastError();
            QMessageBox::critical(
                    this, errorTitle,
                    what.isEmpty() ? tr2(QStringLiteral("打开串口时发生未知错误"),
                                         QStringLiteral("An unknown error occurred while opening "
                                                        "the port."))
                                   : tr2(QStringLiteral("打开串口异常: %1"),
                                         QStringLiteral("Failed to open port: %1"))
                                             .arg(what));
            switchOff();
            return;
        }
        ui->err_info->setText(
                QStringLiteral("[%1] %2 拒绝访问!").arg(timeStamp(), currentConnectedPortName));
        QMessageBox::warning(this, tr2(QStringLiteral("警告"), QStringLiteral("Warning")),
                             tr2(QStringLiteral("打开端口失败，请检查是否已被占用！"),
                                 QStringLiteral("Failed to open the port. Please check if it is "
                                                "already in use.")));
        ui->portName->setEnabled(true);
        ui->bard->setEnabled(true);
        ui->proid->setEnabled(true);
        switchOff();
        m_engine->stop();
        return;
    }
    ui->portName->setEnabled(false);
    ui->bard->setEnabled(false);
    ui->proid->setEnabled(false);
}

void MainWindow::onAcquisitionStarted()
{
    const AcquisitionSettings &settings = m_engine->settings();
    statusBarManager->setComConnected(m_engine->currentPort(), settings.baudRate, 8,
                                      QStringLiteral("NONE"), 1, QStringLiteral("OFF"));
    if (!dateTimeTimer) {
        dateTimeTimer = new QTimer(this);
        connect(dateTimeTimer, &QTimer::timeout, this, &MainWindow::updateDateTime);
        dateTimeTimer->start(1000);
        updateDateTime();
    }
    clearSendStats();
    clearReceiveStats();
    m_timeoutShown = false;
}

void MainWindow::onReconnected(const QString &portName)
{
    currentConnectedPortName = portName;
    const AcquisitionSettings &settings = m_engine->settings();
    statusBarManager->setComConnected(portName, settings.baudRate, 8, QStringLiteral("NONE"), 1,
                                      QStringLiteral("OFF"));
    if (!m_exportErrorShown)
        ui->err_info->clear();
}

void MainWindow::SendTaskStop()
{
    if (!ui || !m_engine) {
        qCCritical(lcApp) << "SendTaskStop: UI or serial is null!";
        return;
    }
    m_engine->stop();
    ui->portName->setEnabled(true);
    ui->proid->setEnabled(true);
    ui->bard->setEnabled(true);
    if (statusBarManager)
        statusBarManager->setComDisconnected(currentConnectedPortName);
}

void MainWindow::onIntervalChanged(const QString &text)
{
    if (!m_engine || m_engine->state() != AcquisitionEngine::State::Running)
        return;
    const qint32 interval = parseTimerInterval(text);
    if (interval <= 0)
        return;
    m_engine->setInterval(interval);
}

void MainWindow::setupAutoReconnect()
{
    // Beside the interval selector, in the form's own row.
    m_autoReconnect = new QCheckBox(QStringLiteral("自动重连"), ui->proid->parentWidget());
    m_autoReconnect->setObjectName(QStringLiteral("autoReconnect"));
    if (auto *row = qobject_cast<QBoxLayout *>(ui->proid->parentWidget()->layout())) {
        const int at = row->indexOf(ui->proid);
        row->insertWidget(at + 1, m_autoReconnect);
    }
    connect(m_autoReconnect, &QCheckBox::toggled, this, [this](bool on) {
        m_engine->setReconnect(on);
        saveSettings();
    });
}

void MainWindow::handlePortLost(const QString &portName)
{
    qCWarning(lcApp) << "Port lost:" << portName;
    if (m_engine->state() == AcquisitionEngine::State::Reconnecting) {
        // The switch stays on: the engine opens the adapter again when it returns.
        const QString text = tr2(QStringLiteral("端口已断开，正在重连…"),
                                 QStringLiteral("Port lost, reconnecting…"));
        ui->err_info->setText(text);
        statusBarManager->setComReconnecting(portName);
        return;
    }
    // Stop as the user would, without a box: a pulled cable must not block the window.
    if (ui->openCom->isChecked()) {
        ui->openCom->setEnabled(true);
        switchOff(); // runs SendTaskStop
    } else {
        SendTaskStop();
    }
    ui->err_info->setText(tr2(QStringLiteral("端口已经移除，请重新选择端口！"),
                              QStringLiteral("Port removed, please reselect!")));
}
