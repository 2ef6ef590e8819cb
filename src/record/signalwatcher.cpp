#include "record/signalwatcher.h"

// install() and uninstall() are the operating system's part, in signalwatcher_unix.cpp and
// signalwatcher_win.cpp.

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    install();
}

SignalWatcher::~SignalWatcher()
{
    uninstall();
}
