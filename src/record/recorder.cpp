#include "record/recorder.h"

#include "acquisition/acquisitionengine.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmrulefile.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolmanager.h"
#include "record/recordlog.h"
#include "recording/recordingsession.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#ifdef CELLSCRIBE_HAVE_MQTT
#include "publish/hadiscovery.h"
#include "publish/mqttpublisher.h"
#endif

#include <cstdio>

namespace {

constexpr int kStatusIntervalMs = 10000;
// How long a Home Assistant removal run waits for the broker.
constexpr int kRemovalWaitMs = 15000;

} // namespace

Recorder::Recorder(const RecorderOptions &options, QObject *parent)
    : QObject(parent),
      m_options(options),
      m_engine(new AcquisitionEngine(this)),
      m_alarms(new AlarmMonitor(this))
{
    m_statusTimer.setInterval(kStatusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { printStatus(); });
    m_removalTimer.setSingleShot(true);
    m_durationTimer.setSingleShot(true);
    connect(&m_durationTimer, &QTimer::timeout, this, [this] { finish(RecorderOptions::ExitOk); });
    connect(m_engine, &AcquisitionEngine::sampleDecoded, this, &Recorder::onSample);
    connect(m_engine, &AcquisitionEngine::linkEvent, this, &Recorder::onLinkEvent);
    connect(m_alarms, &AlarmMonitor::raised, this, &Recorder::onAlarm);
    connect(m_alarms, &AlarmMonitor::cleared, this, &Recorder::onAlarm);
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

    if (!m_options.mqttUrl.isEmpty()) {
        if (!startPublishing(command))
            return RecorderOptions::ExitBadInput;
        // A removal run records nothing: it ends when the broker has taken the removal.
        if (m_options.mqttHaRemove)
            return -1;
    }
    loadAlarms();

    if (!m_options.csvPath.isEmpty()) {
        m_csv.setProtocolConfig(m_config);
        m_csv.setLanguage(m_options.language);
        if (m_options.csvAlarmColumn)
            m_csv.setAlarmColumn([this] { return m_alarms->activeShortNames(); });
        const CsvWriteResult opened = m_csv.open(m_options.csvPath);
        if (!opened.ok) {
            message(say("CSV 文件 %1 无法使用：%2", "CSV file %1 cannot be used: %2")
                            .arg(QDir::toNativeSeparators(m_options.csvPath), opened.error));
            return RecorderOptions::ExitBadInput;
        }
    }

    if (!setUpRecording())
        return RecorderOptions::ExitBadInput;

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

bool Recorder::setUpRecording()
{
    if (!m_options.record)
        return true;
    const QString target = m_options.recordPath.isEmpty() ? RecordingSession::defaultDirectory()
                                                          : m_options.recordPath;
    m_recording = new RecordingSession(m_engine, this);
    if (RecorderOptions::isRecordingFile(target)) {
        if (QFileInfo::exists(target)) {
            message(say("记录文件 %1 已存在（记录从不覆盖）",
                        "recording %1 exists already (recordings are never overwritten)")
                            .arg(QDir::toNativeSeparators(target)));
            return false;
        }
        m_recording->setFile(target);
    } else {
        m_recording->setDirectory(target);
    }
    // Told here, once each; the run goes on without the file when it fails.
    connect(m_recording, &RecordingSession::fileStarted, this, [this](const QString &path) {
        message(say("[%1] 记录到 %2", "[%1] recording to %2")
                        .arg(now(), QDir::toNativeSeparators(path)));
    });
    connect(m_recording, &RecordingSession::failed, this,
            [this](const QString &path, const QString &error) {
                const bool opened = m_recording->isRecording();
                message((opened ? say("[%1] 记录写入失败：%2（%3）；继续采集",
                                      "[%1] recording write failed: %2 (%3); acquisition goes on")
                                : say("[%1] 无法创建记录 %2：%3；继续采集，不记录",
                                      "[%1] cannot create recording %2: %3; acquiring without it"))
                                .arg(now(), QDir::toNativeSeparators(path), error));
            });
    connect(m_recording, &RecordingSession::resumed, this,
            [this](const QString &path, qint64 lost) {
                message(say("[%1] 记录恢复写入：%2（丢失 %3 行）",
                            "[%1] recording writing again: %2 (%3 rows lost)")
                                .arg(now(), QDir::toNativeSeparators(path), QString::number(lost)));
            });
    connect(m_recording, &RecordingSession::fileFinished, this,
            [this](const QString &path, bool complete) {
                if (complete)
                    message(say("[%1] 记录已保存：%2", "[%1] recording saved: %2")
                                    .arg(now(), QDir::toNativeSeparators(path)));
            });
    return true;
}

void Recorder::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    m_statusTimer.stop();
    m_durationTimer.stop();
    m_removalTimer.stop();
    m_engine->stop();
    if (!m_options.quiet && !m_options.mqttHaRemove)
        printStatus(false);
#ifdef CELLSCRIBE_HAVE_MQTT
    if (m_publisher) {
        // Everything handed over goes out, then "offline", before the process ends.
        m_publisher->stop();
        if (!m_options.quiet && !m_options.mqttHaRemove) {
            printPublishingStatus();
        } else if (m_publisher->droppedSinceConnect() > 0) {
            // Never silently, --quiet or not.
            message(say("[%1] MQTT 断开期间丢弃了 %2 条消息",
                        "[%1] MQTT: %2 messages dropped while disconnected")
                            .arg(now(), QString::number(m_publisher->droppedSinceConnect())));
        }
    }
#endif
    emit finished(exitCode);
}

void Recorder::loadAlarms()
{
    if (!m_options.alarms)
        return;
    const QString rules =
            m_options.alarmsPath.isEmpty() ? AlarmRuleFile::userFilePath() : m_options.alarmsPath;
    m_alarms->load(*m_config, m_config->filePath(), rules);
    const AlarmProblems problems = m_alarms->problems();
    for (const AlarmProblem &p : problems) {
        const QString source = p.source.isEmpty() ? m_config->filePath() : p.source;
        message(say("[%1] 报警规则 %2：%3", "[%1] alarm rules %2: %3")
                        .arg(now(), QDir::toNativeSeparators(source), p.text(m_options.language)));
    }
}

void Recorder::onAlarm(const AlarmEvent &event)
{
    if (m_recording)
        m_recording->writeEvent(event.timeMs, event.kindName(), event.toJson());
#ifdef CELLSCRIBE_HAVE_MQTT
    if (m_publisher)
        m_publisher->publishAlarm(MqttAlarm::fromEvent(event, m_options.language));
#endif
    const QString at = QDateTime::fromMSecsSinceEpoch(event.timeMs)
                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString value = event.valueText().isEmpty() ? QStringLiteral("-") : event.valueText();
    if (event.kind == AlarmEvent::Kind::Raised)
        message(say("[%1] 报警触发：%2 %3（%4，%5）", "[%1] alarm raised: %2 %3 (%4, %5)")
                        .arg(at, AlarmEvent::severityText(event.severity, m_options.language),
                             event.message(m_options.language), event.shortName(), value));
    else
        message(say("[%1] 报警恢复：%2（%3，%4）", "[%1] alarm cleared: %2 (%3, %4)")
                        .arg(at, event.message(m_options.language), event.shortName(), value));
}

void Recorder::onSample(const Sample &sample)
{
    if (m_finished)
        return;
    // Before the CSV row, whose alarm column shows the alarms of this frame.
    if (m_options.alarms)
        m_alarms->processSample(sample);
#ifdef CELLSCRIBE_HAVE_MQTT
    // Before the frame count can end the run: the last frame is published too.
    if (m_publisher)
        m_publisher->publishSample(sample, m_engine->stats());
#endif
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

void Recorder::printStatus(bool withPublishing)
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
    if (withPublishing)
        printPublishingStatus();
}

void Recorder::printPublishingStatus()
{
#ifdef CELLSCRIBE_HAVE_MQTT
    if (!m_publisher || m_options.mqttHaRemove)
        return;
    message(say("[%1] MQTT：已发布 %2，丢弃 %3，代理：%4",
                "[%1] MQTT: published %2, dropped %3, broker: %4")
                    .arg(now(), QString::number(m_publisher->publishedCount()),
                         QString::number(m_publisher->droppedCount()),
                         m_publisher->isConnected() ? say("在线", "online")
                                                    : say("离线", "offline")));
#endif
}

bool Recorder::startPublishing(const QString &command)
{
#ifdef CELLSCRIBE_HAVE_MQTT
    MqttPublisherSettings settings;
    settings.url = MqttUrl::parse(m_options.mqttUrl);
    settings.caFile = m_options.mqttCaFile;
    settings.prefix = m_options.mqttPrefix;
    settings.packId = m_options.packId.isEmpty() ? MqttTopics::packIdForPort(m_options.port)
                                                 : m_options.packId;
    settings.qos = m_options.mqttQos;
    settings.everySeconds = m_options.mqttEverySeconds;
    settings.language = m_options.language;
    if (m_options.mqttHaRemove) {
        // Nothing announced and nothing left retained: no status, no will.
        settings.homeAssistant = false;
        settings.status = false;
    }
    m_publisher = new MqttPublisher(this);
    m_publisher->setProtocol(m_config, command);
    const QString broker = settings.url.toDisplayString();
    connect(m_publisher, &MqttPublisher::connected, this, [this, broker] {
        message(say("[%1] MQTT 已连接：%2", "[%1] MQTT connected: %2").arg(now(), broker));
    });
    connect(m_publisher, &MqttPublisher::attemptFailed, this, [this](const QString &reason) {
        message(say("[%1] MQTT 连接失败：%2，稍后重试", "[%1] MQTT connection failed: %2; retrying")
                        .arg(now(), reason));
    });
    connect(m_publisher, &MqttPublisher::connectionLost, this, [this](const QString &reason) {
        message(say("[%1] MQTT 连接断开：%2，正在重连…",
                    "[%1] MQTT connection lost: %2; reconnecting...")
                        .arg(now(), reason));
    });
    connect(m_publisher, &MqttPublisher::droppedWhileDisconnected, this, [this](qint64 count) {
        message(say("[%1] MQTT 断开期间丢弃了 %2 条消息",
                    "[%1] MQTT: %2 messages dropped while disconnected")
                        .arg(now(), QString::number(count)));
    });
    connect(m_publisher, &MqttPublisher::publishFailed, this, [this](const QString &reason) {
        message(say("[%1] MQTT 发布失败：%2", "[%1] MQTT publish failed: %2").arg(now(), reason));
    });
    if (!m_publisher->start(settings)) {
        message(say("MQTT 无法启动：%1", "MQTT cannot start: %1").arg(m_publisher->lastError()));
        return false;
    }
    if (m_options.mqttHaRemove) {
        const qsizetype sensors =
                HaDiscovery::sensors(m_config, m_config->commandNames(), m_options.language).size();
        connect(
                m_publisher, &MqttPublisher::discoveryRemoved, this,
                [this, sensors, pack = settings.packId] {
                    message(say("[%1] 已从 Home Assistant 移除电池包 %2 的 %3 个传感器",
                                "[%1] removed %3 sensors of pack %2 from Home Assistant")
                                    .arg(now(), pack, QString::number(sensors)));
                    finish(RecorderOptions::ExitOk);
                },
                Qt::QueuedConnection);
        connect(&m_removalTimer, &QTimer::timeout, this, [this, broker] {
            message(say("MQTT 代理 %1 在 %2 秒内无法连接",
                        "the MQTT broker %1 could not be reached within %2 s")
                            .arg(broker, QString::number(kRemovalWaitMs / 1000)));
            finish(RecorderOptions::ExitBrokerUnreachable);
        });
        m_removalTimer.start(kRemovalWaitMs);
        m_publisher->removeDiscovery();
    }
    return true;
#else
    Q_UNUSED(command);
    return false;
#endif
}
