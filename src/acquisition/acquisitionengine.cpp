#include "acquisition/acquisitionengine.h"

#include "acquisition/acquisitionlog.h"
#include "acquisition/framedecoder.h"
#include "protocol/protocolconfig.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"

#include <QDateTime>
#include <QFileInfo>

#include <exception>

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

AcquisitionEngine::AcquisitionEngine(QObject *parent)
    : QObject(parent),
      m_serial(new SerialInterface(this)),
      m_requests(new SerialCommHandler(m_serial, this)),
      m_decoder(new FrameDecoder(this))
{
    qRegisterMetaType<Sample>();
    qRegisterMetaType<FrameRecord>();
    qRegisterMetaType<AcquisitionEvent>();
    m_requests->setProtocolFrame(m_decoder->frameStore());
    m_reconnectTimer.setInterval(reconnectIntervalMs);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &AcquisitionEngine::tryReconnect);

    connect(m_serial, &SerialInterface::dataReceived, this, [this](const QString &frame) {
        // A consumer may stop the run while one read still holds further frames.
        if (m_state == State::Running)
            processFrame(frame);
    });
    connect(m_serial, &SerialInterface::errorOccurred, this, &AcquisitionEngine::onSerialError);
    connect(m_serial, &SerialInterface::timeoutOccurred, this, [this] {
        ++m_stats.timeouts;
        emitEvent(AcquisitionEvent::Kind::Timeout);
        emit statsChanged();
    });
    connect(m_serial, &SerialInterface::busBusy, this, [this] {
        ++m_stats.busBusy;
        emitEvent(AcquisitionEvent::Kind::BusBusy);
        emit statsChanged();
    });
    connect(m_serial, &SerialInterface::dataSend, this, &AcquisitionEngine::requestWritten);
    connect(m_serial, &SerialInterface::portLost, this, &AcquisitionEngine::onPortLost);
    connect(m_requests, &SerialCommHandler::frameSent, this, &AcquisitionEngine::onFrameSent);
    connect(m_requests, &SerialCommHandler::sendFailed, this,
            [this](const QString &error) { emitEvent(AcquisitionEvent::Kind::SendFailed, error); });
}

AcquisitionEngine::~AcquisitionEngine()
{
    // Consumers may already be gone: nothing is told any more.
    blockSignals(true);
    m_reconnectTimer.stop();
    m_requests->stopPeriodicRequest();
    m_serial->closePort();
}

void AcquisitionEngine::setProtocolConfig(ProtocolConfig *config)
{
    const bool changed = config != m_config;
    m_config = config;
    m_decoder->setProtocolConfig(config);
    if (config)
        m_requests->setProtocolConfig(config);
    if (changed && config)
        emitEvent(AcquisitionEvent::Kind::ProtocolChanged, QString::fromUtf8(config->sourceData()));
}

ProtocolConfig *AcquisitionEngine::protocolConfig() const
{
    return m_config;
}

QString AcquisitionEngine::defaultCommand(const ProtocolConfig *config)
{
    if (!config)
        return QString();
    const QString preferred = config->defaultCommand();
    if (!preferred.isEmpty() && config->commandHasRequest(preferred))
        return preferred;
    for (const QString &name : config->requestCommandNames()) {
        if (!name.isEmpty() && config->commandHasRequest(name))
            return name;
    }
    return QString();
}

bool AcquisitionEngine::prepare(const AcquisitionSettings &settings)
{
    stop();
    m_startError = StartError::None;
    m_lastError.clear();
    const auto refuse = [this](StartError error, const QString &text) {
        m_startError = error;
        m_lastError = text;
        qCWarning(lcAcquisition).noquote() << "Cannot start acquisition:" << text;
        return false;
    };
    if (!m_config)
        return refuse(StartError::NoProtocol, QStringLiteral("No protocol loaded"));
    AcquisitionSettings s = settings;
    if (s.command.isEmpty())
        s.command = defaultCommand(m_config);
    if (s.command.isEmpty())
        return refuse(StartError::NoCommand,
                      QStringLiteral("The protocol defines no command with a request"));
    if (!m_config->commandHasRequest(s.command))
        return refuse(StartError::NoCommand,
                      QStringLiteral("The protocol has no request for command %1").arg(s.command));
    if (s.port.isEmpty() || s.baudRate <= 0 || s.intervalMs <= 0)
        return refuse(StartError::BadSettings, QStringLiteral("No port, baud rate or interval"));
    m_settings = s;
    m_currentPort = s.port;
    m_stats = AcquisitionStats();
    // Enumerating ports costs tens of milliseconds: once per start, not per retry.
    m_identity = PortIdentity::of(s.port);
    return true;
}

bool AcquisitionEngine::openPort(const QString &name, bool quiet)
{
    m_quietOpen = quiet;
    bool opened = false;
    try {
        opened = m_serial->openPort(name, m_settings.baudRate);
    } catch (const std::exception &e) {
        m_quietOpen = false;
        m_startError = StartError::OpenException;
        m_lastError = QString::fromLocal8Bit(e.what());
        qCCritical(lcAcquisition) << "Exception opening port:" << e.what();
        return false;
    } catch (...) {
        m_quietOpen = false;
        m_startError = StartError::OpenException;
        m_lastError.clear();
        qCCritical(lcAcquisition) << "Unknown exception opening port";
        return false;
    }
    m_quietOpen = false;
    if (!opened) {
        m_startError = StartError::OpenFailed;
        return false;
    }
    m_serial->setDataType(SerialInterface::Ascii);
    return true;
}

bool AcquisitionEngine::start(const AcquisitionSettings &settings)
{
    return startRun(settings, false);
}

bool AcquisitionEngine::startRun(const AcquisitionSettings &settings, bool quiet)
{
    if (!prepare(settings))
        return false;
    m_lastError.clear();
    if (!openPort(m_settings.port, quiet)) {
        qCInfo(lcAcquisition).noquote() << "Cannot open" << m_settings.port
                                        << (m_lastError.isEmpty() ? "" : ":") << m_lastError;
        return false;
    }
    m_neverOpened = false;
    beginPolling(AcquisitionEvent::Kind::Started);
    return true;
}

bool AcquisitionEngine::startOrWait(const AcquisitionSettings &settings)
{
    // A port that is not there yet is told by the caller, not as a serial error.
    if (startRun(settings, settings.reconnect))
        return true;
    if (m_startError != StartError::OpenFailed && m_startError != StartError::OpenException)
        return false;
    if (!m_settings.reconnect)
        return false;
    qCInfo(lcAcquisition) << "Waiting for port" << m_settings.port;
    m_neverOpened = true;
    setState(State::Reconnecting);
    m_reconnectTimer.start();
    return true;
}

void AcquisitionEngine::beginPolling(AcquisitionEvent::Kind kind)
{
    setState(State::Running);
    // Told before the first request goes out, so that consumers can reset what they count.
    emitEvent(kind, m_currentPort);
    m_requests->stopPeriodicRequest();
    m_requests->startPeriodicRequest(m_settings.command, m_settings.intervalMs);
}

void AcquisitionEngine::stop()
{
    m_reconnectTimer.stop();
    m_requests->stopPeriodicRequest();
    m_serial->closePort();
    if (m_state == State::Stopped)
        return;
    const bool wasWaiting = m_neverOpened;
    m_neverOpened = false;
    setState(State::Stopped);
    if (!wasWaiting)
        emitEvent(AcquisitionEvent::Kind::Stopped, m_currentPort);
}

void AcquisitionEngine::setInterval(int intervalMs)
{
    if (intervalMs <= 0)
        return;
    m_settings.intervalMs = intervalMs;
    if (m_state == State::Running && m_requests->isPeriodicRequestActive()) {
        m_requests->stopPeriodicRequest();
        m_requests->startPeriodicRequest(m_settings.command, intervalMs);
    }
}

void AcquisitionEngine::setReconnect(bool enabled)
{
    m_settings.reconnect = enabled;
    if (!enabled && m_state == State::Reconnecting)
        stop();
}

void AcquisitionEngine::portRemoved()
{
    if (m_state == State::Running)
        onPortLost();
}

void AcquisitionEngine::onPortLost()
{
    if (m_state != State::Running)
        return;
    ++m_stats.portLosses;
    m_requests->stopPeriodicRequest();
    m_serial->closePort();
    qCWarning(lcAcquisition) << "Port lost:" << m_currentPort
                             << (m_settings.reconnect ? "- reconnecting" : "");
    // The state is settled before anyone hears of the loss: a listener may stop the engine.
    if (m_settings.reconnect) {
        setState(State::Reconnecting);
        m_reconnectTimer.start();
        emitEvent(AcquisitionEvent::Kind::PortLost, m_currentPort);
    } else {
        setState(State::Stopped);
        emitEvent(AcquisitionEvent::Kind::PortLost, m_currentPort);
        emitEvent(AcquisitionEvent::Kind::Stopped, m_currentPort);
    }
    emit statsChanged();
}

void AcquisitionEngine::tryReconnect()
{
    if (m_state != State::Reconnecting) {
        m_reconnectTimer.stop();
        return;
    }
    QString name;
    const bool isPath = m_identity.name.contains(QLatin1Char('/'));
    if (!m_identity.hasUsbId() && m_identity.serialNumber.isEmpty() && isPath
        && !m_identity.name.startsWith(QLatin1String("/dev/tty"))) {
        // A pseudo-terminal or a link: nothing to enumerate, it is back when the path is.
        if (QFileInfo::exists(m_identity.name))
            name = m_identity.name;
    } else {
        QList<PortIdentity> present = PortIdentity::present();
        if (isPath && QFileInfo::exists(m_identity.name)) {
            PortIdentity byPath;
            byPath.name = m_identity.name;
            present.append(byPath);
        }
        const int index = PortIdentity::find(m_identity, present);
        if (index >= 0)
            name = present.at(index).name;
    }
    if (name.isEmpty())
        return;
    if (!openPort(name, true)) {
        qCDebug(lcAcquisition) << "Reopening" << name << "failed:" << m_serial->portName();
        return;
    }
    m_reconnectTimer.stop();
    m_currentPort = name;
    if (m_neverOpened) {
        m_neverOpened = false;
        qCInfo(lcAcquisition) << "Port opened:" << name;
        beginPolling(AcquisitionEvent::Kind::Started);
        return;
    }
    ++m_stats.reconnects;
    qCInfo(lcAcquisition) << "Reconnected:" << name;
    beginPolling(AcquisitionEvent::Kind::Reconnected);
    emit statsChanged();
}

void AcquisitionEngine::processFrame(const QString &frameText)
{
    FrameRecord record;
    Sample sample;
    const bool matched = m_decoder->decode(frameText, nowMs(), &record, &sample);
    emit frameTraffic(record);
    if (!matched) {
        ++m_stats.framesUnmatched;
        emit statsChanged();
        return;
    }
    ++m_stats.framesReceived;
    const bool badChecksum = sample.checksum == FrameRecord::Checksum::Mismatch;
    if (badChecksum)
        ++m_stats.checksumErrors;
    emit sampleDecoded(sample);
    // Still decoded: a bad checksum is reported, not dropped.
    if (badChecksum)
        emitEvent(AcquisitionEvent::Kind::ChecksumMismatch, frameText);
    emit statsChanged();
}

void AcquisitionEngine::onFrameSent(const QString &command, const QString &frame)
{
    ++m_stats.requestsSent;
    FrameRecord record;
    record.timeMs = nowMs();
    record.direction = FrameRecord::Direction::Tx;
    record.text = frame;
    record.command = command;
    emit frameTraffic(record);
    emit statsChanged();
}

void AcquisitionEngine::onSerialError(const QString &text)
{
    if (m_quietOpen) {
        m_lastError = text;
        return;
    }
    ++m_stats.serialErrors;
    m_lastError = text;
    emitEvent(AcquisitionEvent::Kind::SerialError, text);
    emit statsChanged();
}

void AcquisitionEngine::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void AcquisitionEngine::emitEvent(AcquisitionEvent::Kind kind, const QString &detail)
{
    AcquisitionEvent event;
    event.timeMs = nowMs();
    event.kind = kind;
    event.detail = detail;
    emit linkEvent(event);
}
