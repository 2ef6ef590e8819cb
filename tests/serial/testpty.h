#pragma once

// A pseudo-terminal whose slave side plays the serial device the code under test opens, while
// the test reads and writes the master side as the BMS would.

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

class TestPty
{
public:
    TestPty()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_slaveName = QString::fromLocal8Bit(name);
    }
    ~TestPty()
    {
        closeSlave();
        hangUp();
    }
    TestPty(const TestPty &) = delete;
    TestPty &operator=(const TestPty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slaveName() const { return m_slaveName; }

    // Writes bytes as the device would send them.
    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                    ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            done += n;
        }
        return true;
    }

    // Everything the code under test has written so far.
    QByteArray readAvailable()
    {
        QByteArray out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }

    // Bytes written by the code under test and not read by the test yet.
    int pendingToDevice() const
    {
        int n = 0;
        return ::ioctl(m_master, FIONREAD, &n) == 0 ? n : -1;
    }

    // Waits, without running any event loop, until input for the code under test has arrived.
    bool waitInputAtPort(int timeoutMs) const
    {
        if (m_slave < 0)
            return false;
        pollfd p{m_slave, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
    }

    // The test keeps its own slave descriptor only for waitInputAtPort(); drop it when only the
    // code under test should hold the line.
    void closeSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

    // Closes the master side: the device is gone.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slaveName;
};
