#include "bmssimulator.h"

#include "protocol/protocolconfig.h"
#include "responseencoder.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#if defined(__APPLE__) || defined(__FreeBSD__)
#include <util.h>
#else
#include <pty.h>
#endif

namespace {

void makeRaw(int fd, int baudRate)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    speed_t speed = B9600;
    switch (baudRate) {
    case 19200:
        speed = B19200;
        break;
    case 38400:
        speed = B38400;
        break;
    case 115200:
        speed = B115200;
        break;
    default:
        break;
    }
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

BmsSimulator::BmsSimulator(QObject *parent) : QObject(parent), m_outputTimer(new QTimer(this))
{
    m_outputTimer->setSingleShot(true);
    m_outputTimer->setTimerType(Qt::PreciseTimer);
    connect(m_outputTimer, &QTimer::timeout, this, &BmsSimulator::writeDue);
    m_clock.start();
}

BmsSimulator::~BmsSimulator()
{
    shutdown();
}

bool BmsSimulator::start(const Options &options, QString *error)
{
    m_options = options;
    m_rng.seed(options.seed);

    m_config = new ProtocolConfig(this);
    QString configError;
    connect(m_config, &ProtocolConfig::configError, this,
            [&configError](const QString &e) { configError = e; });
    if (!m_config->loadConfig(options.protocolPath)) {
        *error = QStringLiteral("cannot load protocol %1: %2")
                         .arg(options.protocolPath,
                              configError.isEmpty() ? m_config->lastError() : configError);
        return false;
    }
    // As many cells as the protocol reads.
    const int cells = BatteryModel::seriesCount(m_config->dataSegments(m_config->defaultCommand()));
    m_model = std::make_unique<BatteryModel>(options.seed,
                                             cells > 0 ? cells : BatteryModel::cellCount);
    const QStringList names = m_config->requestCommandNames();
    for (const QString &name : names) {
        const QByteArray frame = m_config->buildRequestFrame(name);
        if (frame.isEmpty())
            continue;
        m_requests.append({frame, name});
        m_longestRequest = qMax(m_longestRequest, frame.size());
    }
    if (m_requests.isEmpty()) {
        *error = QStringLiteral("protocol %1 has no command with a request")
                         .arg(options.protocolPath);
        return false;
    }

    if (!(options.devicePath.isEmpty() ? openPseudoTerminal(error) : openDevice(error)))
        return false;

    if (!options.linkPath.isEmpty()) {
        const QFileInfo existing(options.linkPath);
        if (existing.isSymLink())
            ::unlink(QFile::encodeName(options.linkPath).constData());
        if (::symlink(QFile::encodeName(m_linePath).constData(),
                      QFile::encodeName(options.linkPath).constData())
            != 0) {
            *error = QStringLiteral("cannot make link %1: %2")
                             .arg(options.linkPath, QString::fromLocal8Bit(std::strerror(errno)));
            shutdown();
            return false;
        }
        m_linkMade = true;
    }

    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &BmsSimulator::onReadable);
    log(QStringLiteral("ready %1 commands=%2").arg(m_linePath).arg(m_requests.size()));
    for (const auto &request : std::as_const(m_requests))
        log(QStringLiteral("expects %1 %2")
                    .arg(request.second, QString::fromLatin1(request.first)));
    return true;
}

bool BmsSimulator::openPseudoTerminal(QString *error)
{
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    makeRaw(slave, m_options.baudRate);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_fd = master;
    m_slaveFd = slave;
    m_linePath = QString::fromLocal8Bit(name);
    return true;
}

bool BmsSimulator::openDevice(QString *error)
{
    const QByteArray path = QFile::encodeName(m_options.devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2")
                         .arg(m_options.devicePath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    makeRaw(fd, m_options.baudRate);
    m_fd = fd;
    m_linePath = m_options.devicePath;
    return true;
}

void BmsSimulator::shutdown()
{
    m_outputTimer->stop();
    m_output.clear();
    if (m_readNotifier) {
        m_readNotifier->setEnabled(false);
        m_readNotifier->deleteLater();
        m_readNotifier = nullptr;
    }
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    m_slaveFd = -1;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_linkMade) {
        ::unlink(QFile::encodeName(m_options.linkPath).constData());
        m_linkMade = false;
    }
}

void BmsSimulator::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            m_input.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // End of file or a failing line: the device is gone.
        log(QStringLiteral("line closed: %1")
                    .arg(n == 0 ? QStringLiteral("end of file")
                                : QString::fromLocal8Bit(std::strerror(errno))));
        shutdown();
        emit finished(1);
        return;
    }

    for (;;) {
        qsizetype best = -1;
        qsizetype bestLength = 0;
        const QString *command = nullptr;
        for (const auto &request : std::as_const(m_requests)) {
            const qsizetype pos = m_input.indexOf(request.first);
            if (pos >= 0 && (best < 0 || pos < best)) {
                best = pos;
                bestLength = request.first.size();
                command = &request.second;
            }
        }
        if (!command)
            break;
        if (best > 0)
            log(QStringLiteral("ignored %1 bytes").arg(best));
        m_input.remove(0, best + bestLength);
        handleRequest(*command);
        if (m_fd < 0)
            return;
    }
    // Keep only what could still be the start of a request.
    const qsizetype keep = m_longestRequest - 1;
    if (m_input.size() > keep) {
        log(QStringLiteral("ignored %1 bytes: %2")
                    .arg(m_input.size() - keep)
                    .arg(QString::fromLatin1(m_input.left(m_input.size() - keep).toHex())));
        m_input.remove(0, m_input.size() - keep);
    }
}

void BmsSimulator::handleRequest(const QString &commandName)
{
    const SimFaults &faults = m_options.faults;
    log(QStringLiteral("request %1").arg(commandName));
    if (faults.silent)
        return;
    if (faults.hangupAfter >= 0 && m_answersQueued >= faults.hangupAfter) {
        if (m_output.isEmpty())
            hangUp();
        return;
    }
    if (faults.drop > 0.0 && m_rng.generateDouble() < faults.drop) {
        log(QStringLiteral("drop %1").arg(commandName));
        return;
    }

    const CommandDefinition command = m_config->command(commandName);
    m_model->advance();
    QList<quint64> raws;
    raws.reserve(command.dataSegments.size());
    for (const DataSegment &segment : command.dataSegments)
        raws.append(
                m_options.scenario.apply(m_answersQueued + 1, segment, m_model->rawValue(segment)));
    const bool badChecksum =
            faults.badChecksum > 0.0 && m_rng.generateDouble() < faults.badChecksum;
    const QByteArray frame = ResponseEncoder::encode(*m_config, command, raws, badChecksum);
    ++m_answersQueued;

    qint64 due = m_clock.elapsed() + faults.delayMs;
    if (!m_output.isEmpty())
        due = qMax(due, m_output.constLast().due);

    if (faults.garbage > 0.0 && m_rng.generateDouble() < faults.garbage) {
        QByteArray noise(int(m_rng.bounded(1, 17)), Qt::Uninitialized);
        for (char &c : noise) {
            do {
                c = char(m_rng.bounded(0, 127));
            } while (c == ':' || c == '~');
        }
        log(QStringLiteral("garbage %1 bytes").arg(noise.size()));
        queue(noise, due, false);
    }

    if (faults.split && frame.size() >= 3) {
        // Two or three pieces, cut at random places, a few ms apart.
        QList<qsizetype> cuts{qsizetype(m_rng.bounded(1, int(frame.size()) - 1))};
        if (m_rng.bounded(2) == 1)
            cuts.append(qsizetype(m_rng.bounded(int(cuts.first()) + 1, int(frame.size()))));
        cuts.append(frame.size());
        qsizetype pos = 0;
        for (qsizetype i = 0; i < cuts.size(); ++i) {
            queue(frame.mid(pos, cuts.at(i) - pos), due, i == cuts.size() - 1);
            pos = cuts.at(i);
            due += m_rng.bounded(2, 9);
        }
    } else {
        queue(frame, due, true);
    }

    log(QStringLiteral("answer %1 %2%3 %4")
                .arg(commandName, QString::fromLatin1(frame),
                     badChecksum ? QStringLiteral(" bad-checksum") : QString(),
                     QString::fromUtf8(QJsonDocument(ResponseEncoder::decodedValues(
                                                             command.dataSegments, raws))
                                               .toJson(QJsonDocument::Compact))));
}

void BmsSimulator::queue(const QByteArray &bytes, qint64 due, bool endsAnswer)
{
    m_output.append({due, bytes, endsAnswer});
    if (!m_outputTimer->isActive())
        writeDue();
}

void BmsSimulator::writeDue()
{
    while (!m_output.isEmpty() && m_fd >= 0) {
        Piece &piece = m_output.first();
        const qint64 wait = piece.due - m_clock.elapsed();
        if (wait > 0) {
            m_outputTimer->start(int(wait));
            return;
        }
        const ssize_t n = ::write(m_fd, piece.bytes.constData(), size_t(piece.bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            m_outputTimer->start(10); // nobody reads the line just now
            return;
        }
        if (n < 0) {
            log(QStringLiteral("write failed: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
            shutdown();
            emit finished(1);
            return;
        }
        if (n < piece.bytes.size()) {
            piece.bytes.remove(0, n);
            continue;
        }
        const bool endsAnswer = piece.endsAnswer;
        m_output.removeFirst();
        if (endsAnswer) {
            ++m_answersWritten;
            if (m_options.faults.hangupAfter >= 0
                && m_answersWritten >= m_options.faults.hangupAfter) {
                hangUp();
                return;
            }
        }
    }
}

void BmsSimulator::hangUp()
{
    if (m_hangingUp)
        return;
    m_hangingUp = true;
    QTimer::singleShot(20, this, &BmsSimulator::completeHangUp);
}

void BmsSimulator::completeHangUp()
{
    // Let the client read the last answer before the line drops: a hang-up discards what it has
    // not read yet. Give up waiting after a while (the client may not be reading at all).
    int unread = 0;
    if (m_slaveFd >= 0 && ::ioctl(m_slaveFd, FIONREAD, &unread) == 0 && unread > 0
        && ++m_hangupWaits < 200) {
        QTimer::singleShot(10, this, &BmsSimulator::completeHangUp);
        return;
    }
    log(QStringLiteral("hangup after %1 answers").arg(m_answersWritten));
    shutdown();
    emit finished(0);
}

void BmsSimulator::log(const QString &line) const
{
    if (!m_options.verbose)
        return;
    const QByteArray text = line.toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}
