#include "serial/portwatcher.h"

#include "serial/seriallog.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

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
    // Names matched by prefix rather than name filters (which build their regular expressions
    // on every call), as the filters would match them: case aside. This runs every second.
    QStringList names;
    const QStringList all =
            QDir(QStringLiteral("/dev"))
                    .entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : all) {
        if (name.startsWith(QLatin1String("tty"), Qt::CaseInsensitive)
            || name.startsWith(QLatin1String("cu."), Qt::CaseInsensitive)
            || name.startsWith(QLatin1String("rfcomm"), Qt::CaseInsensitive))
            names.append(name);
    }
    std::sort(names.begin(), names.end());
    for (const QString &path : virtualPorts) {
        if (QFileInfo::exists(path))
            names.append(path);
    }
    return names;
}

namespace {

// Nanoseconds of /dev's last change, which comes with every node added or removed; 0 where
// unknown.
qint64 devStamp()
{
#ifdef Q_OS_LINUX
    struct stat info = {};
    if (::stat("/dev", &info) == 0)
        return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
    return 0;
}

} // namespace

void PortWatcher::check()
{
    // The listing of /dev costs about a million instructions; it runs every second.
    const qint64 stamp = devStamp();
    QStringList present;
    for (const QString &path : std::as_const(m_virtualPorts)) {
        if (QFileInfo::exists(path))
            present.append(path);
    }
    if (stamp != 0 && stamp == m_devStamp && present == m_presentVirtual)
        return;
    m_devStamp = stamp;
    m_presentVirtual = present;
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
