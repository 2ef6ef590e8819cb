#include "recording/recordingreplay.h"

#include "acquisition/framedecoder.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingreader.h"

#include <QDir>

#include <limits>

namespace {

const QString kTimestamp = QStringLiteral("timestamp");
const QString kTimestampFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

} // namespace

RecordingReplay::RecordingReplay(RecordingReader *reader)
    : m_reader(reader), m_decoder(std::make_unique<FrameDecoder>())
{
    const QByteArray zoneId = reader->meta().timeZone.toUtf8();
    if (!zoneId.isEmpty() && zoneId != QTimeZone::systemTimeZoneId()) {
        const QTimeZone zone(zoneId);
        if (zone.isValid())
            m_zone = zone;
    }
    if (reader->meta().intervalMs > 0)
        m_summary.gapThresholdMs = 3 * qint64(reader->meta().intervalMs);
}

RecordingReplay::~RecordingReplay() = default;

bool RecordingReplay::protocolFailed(const QString &detail, bool stored)
{
    m_protocolError = detail;
    m_storedProtocolError = stored;
    m_protocols.clear();
    m_switches.clear();
    return false;
}

bool RecordingReplay::useStoredProtocol()
{
    m_protocols.clear();
    m_switches.clear();
    const auto load = [this](const QByteArray &json, const QString &origin) -> ProtocolConfig * {
        auto config = std::make_unique<ProtocolConfig>();
        if (!config->loadConfigData(json, origin)) {
            const QString why = config->lastError().isEmpty()
                    ? QStringLiteral("no usable name, version, commands or table columns")
                    : config->lastError().simplified();
            protocolFailed(why, true);
            return nullptr;
        }
        m_protocols.push_back(std::move(config));
        return m_protocols.back().get();
    };
    const RecordingMeta &meta = m_reader->meta();
    const QString origin = meta.protocolFile.isEmpty() ? m_reader->path() : meta.protocolFile;
    ProtocolConfig *first = load(meta.protocolJson, origin);
    if (!first)
        return false;
    m_switches.append({std::numeric_limits<qint64>::min(), first});
    // Where the run switched protocols, the replay does too.
    bool ok = false;
    const QList<RecordedEvent> switches = m_reader->events(QStringLiteral("protocol"), &ok);
    if (!ok)
        return protocolFailed(m_reader->errorString(), false);
    for (const RecordedEvent &event : switches) {
        ProtocolConfig *config = load(event.text.toUtf8(), origin);
        if (!config)
            return false;
        m_switches.append({event.timeMs, config});
    }
    return true;
}

bool RecordingReplay::useProtocolFile(const QString &path)
{
    m_protocols.clear();
    m_switches.clear();
    auto config = std::make_unique<ProtocolConfig>();
    if (!config->loadConfig(path)) {
        return protocolFailed(config->lastError().isEmpty()
                                      ? QStringLiteral("%1 does not load").arg(path)
                                      : config->lastError().simplified(),
                              false);
    }
    m_switches.append({std::numeric_limits<qint64>::min(), config.get()});
    m_protocols.push_back(std::move(config));
    return true;
}

ProtocolConfig *RecordingReplay::protocol() const
{
    return m_switches.isEmpty() ? nullptr : m_switches.constFirst().config;
}

QString RecordingReplay::errorText(int language) const
{
    if (!m_protocolError.isEmpty()) {
        if (!m_storedProtocolError)
            return m_protocolError;
        return translateOr(language, QStringLiteral("%1 中保存的协议无法加载：%2"),
                           QStringLiteral("the protocol stored in %1 does not load: %2"))
                .arg(QDir::toNativeSeparators(m_reader->path()), m_protocolError);
    }
    return m_reader->errorText(language);
}

QString RecordingReplay::errorString() const
{
    return errorText(English);
}

bool RecordingReplay::start()
{
    m_summary = RecordingReplaySummary{0, 0, 0, 0, m_summary.gapThresholdMs, 0, 0};
    m_lastFrameMs = -1;
    m_nextSwitch = 0;
    m_atEnd = false;
    m_failed = false;
    if (m_switches.isEmpty()) {
        m_failed = true;
        return false;
    }
    if (!m_reader->beginReceived()) {
        m_failed = true;
        return false;
    }
    return true;
}

bool RecordingReplay::step(int maxFrames, const std::function<void(const Sample &)> &onSample)
{
    if (m_atEnd || m_failed)
        return false;
    FrameRecord frame;
    FrameRecord decoded;
    Sample sample;
    for (int n = 0; n < maxFrames; ++n) {
        if (!m_reader->nextFrame(&frame)) {
            m_atEnd = true;
            m_failed = m_reader->error() != RecordingReader::Error::None;
            return false;
        }
        while (m_nextSwitch < m_switches.size()
               && m_switches.at(m_nextSwitch).timeMs <= frame.timeMs) {
            m_decoder->setProtocolConfig(m_switches.at(m_nextSwitch).config);
            ++m_nextSwitch;
        }
        ++m_summary.frames;
        if (m_lastFrameMs >= 0) {
            const qint64 pause = frame.timeMs - m_lastFrameMs;
            m_summary.longestGapMs = qMax(m_summary.longestGapMs, pause);
            if (m_summary.gapThresholdMs > 0 && pause > m_summary.gapThresholdMs)
                ++m_summary.gaps;
        }
        m_lastFrameMs = frame.timeMs;
        if (!m_decoder->decode(frame.text, frame.timeMs, &decoded, &sample)) {
            ++m_summary.unmatched;
            continue;
        }
        ++m_summary.matched;
        if (sample.checksum == FrameRecord::Checksum::Mismatch)
            ++m_summary.checksumErrors;
        if (m_zone.isValid()) {
            const QString local = sample.receivedAt.toString(kTimestampFormat);
            sample.receivedAt = QDateTime::fromMSecsSinceEpoch(frame.timeMs, m_zone);
            auto stamp = sample.values.find(kTimestamp);
            if (stamp != sample.values.end() && stamp->toString() == local)
                *stamp = sample.receivedAt.toString(kTimestampFormat);
        }
        onSample(sample);
    }
    return true;
}
