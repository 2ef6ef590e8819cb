// SIGINT and SIGTERM through a self-pipe: the handler only writes a byte, the event loop reads it.

#include "record/signalwatcher.h"

#ifndef Q_OS_WIN

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void SignalWatcher::install()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(g_pipe[0], &byte, 1);
        emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void SignalWatcher::uninstall()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

#endif
