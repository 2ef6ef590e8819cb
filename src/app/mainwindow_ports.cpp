// Port discovery and hot-plug: the port list, the device notices and the port watcher.

#include "acquisition/acquisitionengine.h"
#include "app/applog.h"
#include "app/devicenotifier.h"
#include "app/mainwindow.h"
#include "serial/portwatcher.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QSerialPortInfo>

void MainWindow::registerDeviceNotifications(const QList<QSerialPortInfo> &availablePorts)
{
    if (DeviceNotifier::isSupported()) {
        m_deviceNotifier = new DeviceNotifier(this);
        connect(m_deviceNotifier, &DeviceNotifier::portArrived, this,
                &MainWindow::onSerialPortArrived);
        connect(m_deviceNotifier, &DeviceNotifier::portRemoved, this,
                &MainWindow::onSerialPortRemoved);
        if (!m_deviceNotifier->registerWindow(winId()))
            qCWarning(lcApp) << "Failed to register for serial device notifications!";
        return;
    }
    // No device notices here: compare the present ports about once a second instead.
    m_portWatcher = new PortWatcher(this);
    m_portWatcher->setVirtualPorts(m_options.virtualPorts);
    connect(m_portWatcher, &PortWatcher::portArrived, this, &MainWindow::onSerialPortArrived);
    connect(m_portWatcher, &PortWatcher::portRemoved, this, &MainWindow::onSerialPortRemoved);
    m_portWatcher->start(1000, availablePorts);
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    Q_UNUSED(result)
    if (m_deviceNotifier)
        m_deviceNotifier->handleNativeMessage(eventType, message);
    // The framework's own processing always continues.
    return false;
}

void MainWindow::findFreePorts()
{
    fillPortSelector(QSerialPortInfo::availablePorts());
}

void MainWindow::fillPortSelector(const QList<QSerialPortInfo> &infos)
{
    QComboBox *ports = ui->portName;
    ports->clear();
    for (const QSerialPortInfo &info : infos) {
        const QString description = info.description();
        if (description.contains(QStringLiteral("蓝牙"), Qt::CaseInsensitive)
            || description.contains(QStringLiteral("Bluetooth"), Qt::CaseInsensitive))
            continue;
        ports->addItem(info.portName() + QStringLiteral(" (") + description + QLatin1Char(')'));
    }
    // Pseudo-terminals and socat links are not enumerated; they open by path.
    for (const QString &path : m_options.virtualPorts)
        ports->addItem(path, path);
    labelVirtualPorts();
    ui->bard->setEnabled(true);

    if (infos.isEmpty() && m_options.virtualPorts.isEmpty()) {
        QMessageBox::warning(
                this, tr2(QStringLiteral("警告"), QStringLiteral("Warning")),
                tr2(QStringLiteral("未找到可用串口"), QStringLiteral("No free serial port found")));
    }
}

void MainWindow::labelVirtualPorts()
{
    // Only virtual ports carry their path as item data.
    QComboBox *ports = ui->portName;
    const QString kind = tr2(QStringLiteral("虚拟端口"), QStringLiteral("virtual port"));
    for (int i = 0; i < ports->count(); ++i) {
        const QString path = ports->itemData(i).toString();
        if (!path.isEmpty())
            ports->setItemText(i, path + QStringLiteral(" (") + kind + QLatin1Char(')'));
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
