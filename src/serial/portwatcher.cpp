#include "serial/portwatcher.h"

#include "serial/seriallog.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

PortWatcher::PortWatcher(QObject *parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &PortWatcher::check);
}

void PortWatcher::setVirtualPorts(const QStringList &paths)
{
    m_virtualPorts = paths;
    if (m_timer.isActive()) {
        m_fingerprint = deviceFingerprint(m_virtualPorts);
        m_known = presentPorts(m_virtualPorts);
    }
}

void PortWatcher::start(int intervalMs)
{
    start(intervalMs, QSerialPortInfo::availablePorts());
}

void PortWatcher::start(int intervalMs, const QList<QSerialPortInfo> &available)
{
    m_fingerprint = deviceFingerprint(m_virtualPorts);
    m_known = presentPorts(available, m_virtualPorts);
    m_timer.start(intervalMs);
}

void PortWatcher::stop()
{
    m_timer.stop();
}

QSet<QString> PortWatcher::presentPorts(const QStringList &virtualPorts)
{
    return presentPorts(QSerialPortInfo::availablePorts(), virtualPorts);
}

QSet<QString> PortWatcher::presentPorts(const QList<QSerialPortInfo> &available,
                                        const QStringList &virtualPorts)
{
    QSet<QString> ports;
    for (const QSerialPortInfo &info : available)
        ports.insert(info.portName());
    for (const QString &path : virtualPorts) {
        if (QFileInfo::exists(path))
            ports.insert(path);
    }
    return ports;
}

QStringList PortWatcher::deviceFingerprint(const QStringList &virtualPorts)
{
    QStringList names = QDir(QStringLiteral("/dev"))
                                .entryList({QStringLiteral("tty*"), QStringLiteral("cu.*"),
                                            QStringLiteral("rfcomm*")},
                                           QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &path : virtualPorts) {
        if (QFileInfo::exists(path))
            names.append(path);
    }
    return names;
}

void PortWatcher::check()
{
    QStringList fingerprint = deviceFingerprint(m_virtualPorts);
    if (fingerprint == m_fingerprint)
        return;
    m_fingerprint = std::move(fingerprint);
    const QSet<QString> now = presentPorts(m_virtualPorts);
    if (now == m_known)
        return;
    const bool arrived = !(now - m_known).isEmpty();
    const bool removed = !(m_known - now).isEmpty();
    qCDebug(lcSerial) << "Ports changed: arrived" << (now - m_known) << "left" << (m_known - now);
    m_known = now;
    // Removal first: a port replaced by another must stop acquisition before the list changes.
    if (removed)
        emit portRemoved();
    if (arrived)
        emit portArrived();
}
