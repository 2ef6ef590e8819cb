#include "app/devicenotifier.h"

#ifdef Q_OS_WIN
// dbt.h uses types that windows.h declares, without including it: keep this order.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on
#endif

DeviceNotifier::DeviceNotifier(QObject *parent) : QObject(parent) { }

DeviceNotifier::~DeviceNotifier()
{
    unregister();
}

bool DeviceNotifier::isSupported()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}

bool DeviceNotifier::registerWindow(WId window)
{
    unregister();
#ifdef Q_OS_WIN
    // The serial-port device interface class (GUID_DEVINTERFACE_COMPORT).
    static const GUID kComPortClass = {
            0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortClass;
    m_handle = RegisterDeviceNotificationW(reinterpret_cast<HANDLE>(window), &filter,
                                           DEVICE_NOTIFY_WINDOW_HANDLE);
#else
    Q_UNUSED(window)
#endif
    return m_handle != nullptr;
}

void DeviceNotifier::handleNativeMessage(const QByteArray &eventType, void *message)
{
#ifdef Q_OS_WIN
    if (!m_handle || eventType != "windows_generic_MSG" || !message)
        return;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_DEVICECHANGE)
        return;
    if (msg->wParam == DBT_DEVICEARRIVAL)
        emit portArrived();
    else if (msg->wParam == DBT_DEVICEREMOVECOMPLETE)
        emit portRemoved();
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
}

void DeviceNotifier::unregister()
{
#ifdef Q_OS_WIN
    if (m_handle)
        UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(m_handle));
#endif
    m_handle = nullptr;
}
