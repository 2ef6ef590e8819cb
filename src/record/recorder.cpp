#include "record/recorder.h"

#include "acquisition/acquisitionengine.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolmanager.h"
#include "record/recordlog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int kStatusIntervalMs = 10000;

} // namespace

Recorder::Recorder(const RecorderOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_engine(new AcquisitionEngine(this))
{
    m_statusTimer.setInterval(kStatusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &Recorder::printStatus);
    m_durationTimer.setSingleShot(true);
    connect(&m_durationTimer, &QTimer::timeout, this, [this] { finish(RecorderOptions::ExitOk); });
    connect(m_engine, &AcquisitionEngine::sampleDecoded, this, &Recorder::onSample);
    connect(m_engine, &AcquisitionEngine::linkEvent, this, &Recorder::onLinkEvent);
}

Recorder::~Recorder()
{
    m_engine->stop();
}

QString Recorder::say(const char *chinese, const char *english) const
{
    return translateOr(m_options.language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

QString Recorder::now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void Recorder::message(const QString &text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

bool Recorder::loadProtocol()
{
    const QString &wanted = m_options.protocol;
    if (QFileInfo(wanted).isFile()) {
        m_config = new ProtocolConfig(this);
        if (!m_config->loadConfig(wanted)) {
            message(say("协议文件 %1 无法加载：%2", "protocol file %1 does not load: %2")
                            .arg(QDir::toNativeSeparators(wanted), m_config->lastError()));
            return false;
        }
        return true;
    }
    m_manager = new ProtocolManager(this);
    const QString directory = ProtocolManager::defaultDirectory();
    m_manager->loadProtocols(directory);
    const QStringList names = m_manager->availableProtocols();
    if (!names.contains(wanted)) {
        message(say("未知协议 %1（%2 中可用：%3）", "unknown protocol %1 (available in %2: %3)")
                        .arg(wanted, QDir::toNativeSeparators(directory),
                             names.isEmpty() ? QStringLiteral("-")
                                             : names.join(QStringLiteral(", "))));
        return false;
    }
    if (m_manager->currentProtocolName() != wanted && !m_manager->switchProtocol(wanted)) {
        message(say("协议文件 %1 无法加载：%2", "protocol file %1 does not load: %2")
                        .arg(QDir::toNativeSeparators(m_manager->protocolInfo(wanted).filePath),
                             m_manager->lastError()));
        return false;
    }
    m_config = m_manager->currentConfig();
    return m_config != nullptr;
}

int Recorder::start()
{
    if (!loadProtocol())
        return RecorderOptions::ExitBadInput;
    m_engine->setProtocolConfig(m_config);
    qCDebug(lcRecord) << "Protocol" << m_config->name() << "from" << m_config->filePath();
    const QString command = m_options.command.isEmpty()
            ? AcquisitionEngine::defaultCommand(m_config)
            : m_options.command;
    if (command.isEmpty() || !m_config->commandHasRequest(command)) {
        message(say("协议 %1 中没有指令 %2 的请求", "protocol %1 has no request for command %2")
                        .arg(m_config->name(), command.isEmpty() ? QStringLiteral("-") : command));
        return RecorderOptions::ExitBadInput;
    }

    if (!m_options.csvPath.isEmpty()) {
        m_csv.setProtocolConfig(m_config);
        m_csv.setLanguage(m_options.language);
        const CsvWriteResult opened = m_csv.open(m_options.csvPath);
        if (!opened.ok) {
            message(say("CSV 文件 %1 无法使用：%2", "CSV file %1 cannot be used: %2")
                            .arg(QDir::toNativeSeparators(m_options.csvPath), opened.error));
            return RecorderOptions::ExitBadInput;
        }
    }

    AcquisitionSettings settings;
    settings.port = m_options.port;
    settings.baudRate = m_options.baudRate;
    settings.intervalMs = m_options.intervalMs;
    settings.command = command;
    settings.reconnect = m_options.reconnect;
    const bool started =
            m_options.reconnect ? m_engine->startOrWait(settings) : m_engine->start(settings);
    if (!started) {
        message(say("端口 %1 无法打开：%2", "port %1 does not open: %2")
                        .arg(m_options.port, m_engine->lastError()));
        return RecorderOptions::ExitPortNotOpened;
    }
    if (m_engine->state() == AcquisitionEngine::State::Reconnecting) {
        message(say("[%1] 端口 %2 无法打开（%3），等待其出现…",
                    "[%1] port %2 does not open (%3); waiting for it...")
                        .arg(now(), m_options.port, m_engine->lastError()));
    }
    if (!m_options.quiet)
        m_statusTimer.start();
    if (m_options.durationMs > 0)
        m_durationTimer.start(int(qMin<qint64>(m_options.durationMs, INT_MAX)));
    return -1;
}

void Recorder::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    m_statusTimer.stop();
    m_durationTimer.stop();
    m_engine->stop();
    if (!m_options.quiet)
        printStatus();
    emit finished(exitCode);
}

void Recorder::onSample(const Sample &sample)
{
    if (m_finished)
        return;
    if (m_csv.isOpen()) {
        const CsvWriteResult written = m_csv.append(sample);
        // Told once when the file stops taking rows and once when it takes them again.
        if (!written.ok && !m_csvFailing) {
            m_csvFailing = true;
            message(say("[%1] CSV 写入失败：%2（%3）", "[%1] CSV write failed: %2 (%3)")
                            .arg(now(), QDir::toNativeSeparators(m_csv.path()), written.error));
        } else if (written.ok && m_csvFailing) {
            m_csvFailing = false;
            message(say("[%1] CSV 恢复写入：%2", "[%1] CSV writing again: %2")
                            .arg(now(), QDir::toNativeSeparators(m_csv.path())));
        }
    }
    if (m_options.frames > 0 && m_engine->stats().framesReceived >= m_options.frames)
        finish(RecorderOptions::ExitOk);
}

void Recorder::onLinkEvent(const AcquisitionEvent &event)
{
    const QString at = QDateTime::fromMSecsSinceEpoch(event.timeMs)
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    switch (event.kind) {
    case AcquisitionEvent::Kind::Started: {
        const AcquisitionSettings &s = m_engine->settings();
        message(say("[%1] 开始记录：%2，%3 波特，间隔 %4 ms，指令 %5",
                    "[%1] recording started: %2, %3 baud, every %4 ms, command %5")
                        .arg(at, event.detail, QString::number(s.baudRate),
                             QString::number(s.intervalMs), s.command));
        break;
    }
    case AcquisitionEvent::Kind::PortLost:
        message(say("[%1] 端口丢失：%2", "[%1] port lost: %2").arg(at, event.detail));
        if (!m_options.reconnect)
            finish(RecorderOptions::ExitPortLost);
        break;
    case AcquisitionEvent::Kind::Reconnected:
        message(say("[%1] 已重新连接：%2", "[%1] reconnected: %2").arg(at, event.detail));
        break;
    case AcquisitionEvent::Kind::SerialError:
        // A port that does not open is told once by start(), not once a second.
        if (m_engine->state() != AcquisitionEngine::State::Running)
            break;
        message(say("[%1] 串口错误：%2", "[%1] serial error: %2").arg(at, event.detail));
        break;
    default:
        break;
    }
}

void Recorder::printStatus()
{
    const AcquisitionStats &s = m_engine->stats();
    QString link;
    switch (m_engine->state()) {
    case AcquisitionEngine::State::Running:
        link = say("已连接", "open");
        break;
    case AcquisitionEngine::State::Reconnecting:
        link = say("重连中", "reconnecting");
        break;
    case AcquisitionEngine::State::Stopped:
        link = say("已停止", "stopped");
        break;
    }
    message(say("[%1] 帧 %2，超时 %3，校验错误 %4，已写行 %5，重连 %6，链路：%7",
                "[%1] frames %2, timeouts %3, checksum errors %4, rows written %5, reconnects "
                "%6, link: %7")
                    .arg(now(), QString::number(s.framesReceived), QString::number(s.timeouts),
                         QString::number(s.checksumErrors), QString::number(m_csv.rowsWritten()),
                         QString::number(s.reconnects), link));
}
