#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

// Reports serial ports arriving and leaving where the operating system sends no notice: it
// compares the enumerated ports, plus the virtual ports (paths) that exist, at a fixed interval.
class QSerialPortInfo;

class PortWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PortWatcher(QObject *parent = nullptr);

    // Pseudo-terminals and links: present while the path exists (a dangling link is gone).
    void setVirtualPorts(const QStringList &paths);
    QStringList virtualPorts() const { return m_virtualPorts; }

    void start(int intervalMs = 1000);
    // The same, with ports the caller has just enumerated taken as the present ones: start-up
    // then enumerates once for the port selector and the watcher.
    void start(int intervalMs, const QList<QSerialPortInfo> &available);
    void stop();
    bool isActive() const { return m_timer.isActive(); }

    // Compares the present ports with the last comparison and reports the difference.
    void check();

    // System names of the enumerated ports and the paths of the virtual ports that exist.
    static QSet<QString> presentPorts(const QStringList &virtualPorts);
    static QSet<QString> presentPorts(const QList<QSerialPortInfo> &available,
                                      const QStringList &virtualPorts);

    // Cheap stand-in for the enumeration, which costs tens of milliseconds: the serial device
    // nodes in /dev and the virtual ports that exist. Enumeration runs only when it changes.
    static QStringList deviceFingerprint(const QStringList &virtualPorts);

signals:
    void portArrived();
    void portRemoved();

private:
    QStringList m_virtualPorts;
    QSet<QString> m_known;
    QStringList m_fingerprint;
    // /dev's modification time and the virtual ports that existed at the last comparison.
    qint64 m_devStamp = 0;
    QStringList m_presentVirtual;
    QTimer m_timer;
};
