#pragma once

#include <QByteArray>
#include <QObject>
#include <qwindowdefs.h>

// The operating system's notices that a serial port arrived or left, for one window. On Windows
// the window is registered for device-interface notices of the serial-port class, which arrive
// among its native messages; elsewhere there are no such notices and nothing is reported.
class DeviceNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DeviceNotifier(QObject *parent = nullptr);
    ~DeviceNotifier() override;

    // Whether this system sends device notices at all.
    static bool isSupported();

    // False when the system sends no notices or refused the registration.
    bool registerWindow(WId window);
    bool isRegistered() const { return m_handle != nullptr; }

    // Looks at one native message of the registered window and reports a notice in it.
    void handleNativeMessage(const QByteArray &eventType, void *message);

signals:
    void portArrived();
    void portRemoved();

private:
    void unregister();

    void *m_handle = nullptr;
};
