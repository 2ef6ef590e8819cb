// Ctrl+C, Ctrl+Break, closing the console and shutting down: the console's handler runs on a
// thread of its own and hands the request to the event loop.

#include "record/signalwatcher.h"

#ifdef Q_OS_WIN

// clang-format off
#include <windows.h>
// clang-format on

#include <QMetaObject>

#include <atomic>

namespace {

std::atomic<SignalWatcher *> g_watcher{nullptr};

BOOL WINAPI onConsoleEvent(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (SignalWatcher *watcher = g_watcher.load())
            QMetaObject::invokeMethod(watcher, &SignalWatcher::terminationRequested,
                                      Qt::QueuedConnection);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void SignalWatcher::install()
{
    g_watcher = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void SignalWatcher::uninstall()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_watcher = nullptr;
}

#endif
