// Port discovery and hot-plug: the port list, the device notices and the port watcher.

#include "acquisition/acquisitionengine.h"
#include "app/applog.h"
#include "app/mainwindow.h"
#include "serial/portwatcher.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QSerialPortInfo>

#ifdef Q_OS_WIN
// dbt.h uses the types windows.h declares.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on
#endif

void MainWindow::registerDeviceNotifications()
{
#ifdef Q_OS_WIN
    // Serial-port device interface class: arrival and removal arrive as WM_DEVICECHANGE.
    static const GUID kComPortClass = {
            0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = 32;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortClass;
    deviceNotifyHandle = RegisterDeviceNotificationW(reinterpret_cast<HANDLE>(winId()), &filter,
                                                     DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!deviceNotifyHandle)
        qCWarning(lcApp) << "Failed to register for serial device notifications!";
#else
    // No device notices here: compare the present ports about once a second instead.
    m_portWatcher = new PortWatcher(this);
    m_portWatcher->setVirtualPorts(m_options.virtualPorts);
    connect(m_portWatcher, &PortWatcher::portArrived, this, &MainWindow::onSerialPortArrived);
    connect(m_portWatcher, &PortWatcher::portRemoved, this, &MainWindow::onSerialPortRemoved);
    m_portWatcher->start(1000);
#endif
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
#ifdef Q_OS_WIN
    if (eventType == "windows_generic_MSG" && message) {
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_DEVICECHANGE) {
            if (msg->wParam == DBT_DEVICEARRIVAL)
                onSerialPortArrived();
            else if (msg->wParam == DBT_DEVICEREMOVECOMPLETE)
                onSerialPortRemoved();
        }
    }
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    Q_UNUSED(result)
    // The framework's own processing always continues.
    return false;
}

void MainWindow::findFreePorts()
{
    QComboBox *ports = ui->portName;
    ports->clear();
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QString description = info.description();
        if (description.contains(QStringLiteral("蓝牙"), Qt::CaseInsensitive)
            || description.contains(QStringLiteral("Bluetooth"), Qt::CaseInsensitive))
            continue;
        ports->addItem(info.portName() + QStringLiteral(" (") + description + QLatin1Char(')'));
    }
    // Pseudo-terminals and socat links are not enumerated; they open by path.
    for (const QString &path : m_options.virtualPorts)
        ports->addItem(path + QStringLiteral(" (virtual port)"), path);
    ui->bard->setEnabled(true);

    if (infos.isEmpty() && m_options.virtualPorts.isEmpty()) {
        QMessageBox::warning(
                this, tr2(QStringLiteral("警告"), QStringLiteral("Warning")),
                tr2(QStringLiteral("未找到可用串口"), QStringLiteral("No free serial port found")));
    }
}

bool MainWindow::isPortPresent(const QString &systemName) const
{
    if (systemName.isEmpty())
        return false;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.portName() == systemName)
            return true;
    }
    return m_options.virtualPorts.contains(systemName) && QFileInfo::exists(systemName);
}

void MainWindow::onSerialPortArrived()
{
    // While acquisition runs the selector is disabled and keeps its list.
    if (!ui->openCom->isChecked())
        findFreePorts();
}

void MainWindow::onSerialPortRemoved()
{
    if (isPortPresent(currentConnectedPortName))
        return;
    qCDebug(lcApp) << "Serial port in use has gone:" << currentConnectedPortName;
    if (m_engine->state() == AcquisitionEngine::State::Reconnecting)
        return;
    if (m_engine->state() == AcquisitionEngine::State::Running && m_engine->settings().reconnect) {
        m_engine->portRemoved(); // reported back as a loss: the window shows it reconnecting
        return;
    }
    if (ui->openCom->isChecked()) {
        ui->openCom->setEnabled(true);
        ui->openCom->setChecked(false); // reports checkedChanged(false): the stop path
    }
    SendTaskStop();
}
