#pragma once

// Recordings made in a test: frames the simulator's encoder would send, written through the
// recording writer as a run would write them.

#include "acquisition/framedecoder.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingformat.h"
#include "recording/recordingmeta.h"
#include "recording/recordingwriter.h"
#include "responseencoder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

inline QString cs16Path()
{
    return QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");
}

// Raw readings that vary with the seed: cells about 3.3 V, temperatures about 25 °C.
inline QList<quint64> rawValues(const CommandDefinition &command, int seed)
{
    QList<quint64> raws;
    for (int i = 0; i < command.dataSegments.size(); ++i) {
        const DataSegment &segment = command.dataSegments.at(i);
        const quint64 limit = segment.length >= 8 ? 0xFFFFFFFFull : (1ull << (4 * segment.length));
        raws.append((3200 + quint64(seed) * 7 + quint64(i)) % limit);
    }
    return raws;
}

inline QString answerFrame(const ProtocolConfig &config, int seed, bool badChecksum = false)
{
    const CommandDefinition command = config.command(config.defaultCommand());
    return QString::fromLatin1(
            ResponseEncoder::encode(config, command, rawValues(command, seed), badChecksum));
}

// A copy of a protocol file with one segment's scale replaced.
inline QByteArray withScale(const QByteArray &json, const QString &segment, double scale)
{
    QJsonObject root = QJsonDocument::fromJson(json).object();
    QJsonObject protocol = root.value(QStringLiteral("protocol")).toObject();
    QJsonArray commands = protocol.value(QStringLiteral("commands")).toArray();
    for (int c = 0; c < commands.size(); ++c) {
        QJsonObject command = commands.at(c).toObject();
        QJsonObject response = command.value(QStringLiteral("response")).toObject();
        QJsonArray segments = response.value(QStringLiteral("dataSegments")).toArray();
        for (int s = 0; s < segments.size(); ++s) {
            QJsonObject item = segments.at(s).toObject();
            if (item.value(QStringLiteral("name")).toString() == segment) {
                item.insert(QStringLiteral("scale"), scale);
                segments.replace(s, item);
            }
        }
        response.insert(QStringLiteral("dataSegments"), segments);
        command.insert(QStringLiteral("response"), response);
        commands.replace(c, command);
    }
    protocol.insert(QStringLiteral("commands"), commands);
    root.insert(QStringLiteral("protocol"), protocol);
    return QJsonDocument(root).toJson();
}

inline RecordingMeta metaFor(const ProtocolConfig &config, qint64 startedMs, int intervalMs = 100)
{
    RecordingMeta meta;
    meta.appName = QStringLiteral("test");
    meta.appVersion = QStringLiteral("1");
    meta.startedMs = startedMs;
    meta.port = QStringLiteral("/dev/ttyTEST0");
    meta.baudRate = 9600;
    meta.intervalMs = intervalMs;
    meta.command = config.defaultCommand();
    meta.protocolName = config.name();
    meta.protocolFile = config.filePath();
    meta.protocolJson = config.sourceData();
    meta.timeZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    return meta;
}

inline FrameRecord request(const ProtocolConfig &config, qint64 timeMs)
{
    FrameRecord frame;
    frame.timeMs = timeMs;
    frame.direction = FrameRecord::Direction::Tx;
    frame.text = QString::fromLatin1(config.buildRequestFrame(config.defaultCommand()));
    frame.command = config.defaultCommand();
    frame.checksum = FrameRecord::Checksum::Ok;
    return frame;
}

inline FrameRecord received(const ProtocolConfig &config, const QString &text, qint64 timeMs)
{
    FrameDecoder decoder;
    decoder.setProtocolConfig(const_cast<ProtocolConfig *>(&config));
    FrameRecord frame;
    Sample sample;
    decoder.decode(text, timeMs, &frame, &sample);
    return frame;
}
