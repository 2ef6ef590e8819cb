#include "recording/recordingcommands.h"

#include "datalog/csvrowlog.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingformat.h"
#include "recording/recordingreader.h"
#include "recording/recordingreplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

namespace {

constexpr int kFramesPerStep = 4096;

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

void print(QTextStream &out, const QJsonObject &object)
{
    out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
    out.flush();
}

} // namespace

int RecordingCommands::info(const QString &path, QTextStream &out, QTextStream &err)
{
    RecordingReader reader;
    RecordingReader::Counts counts;
    if (!reader.open(path) || !reader.counts(&counts)) {
        err << reader.errorString() << Qt::endl;
        return 1;
    }
    const RecordingMeta &meta = reader.meta();
    const bool endedCleanly = meta.endedMs >= 0;
    // A run cut short ends with its last row.
    const qint64 endMs = endedCleanly ? meta.endedMs : qMax(meta.startedMs, counts.lastMs);
    QJsonObject kinds;
    for (auto it = counts.eventKinds.cbegin(); it != counts.eventKinds.cend(); ++it)
        kinds.insert(it.key(), it.value());
    ProtocolConfig protocol;
    const bool protocolLoads = protocol.loadConfigData(meta.protocolJson, meta.protocolFile);
    const QJsonObject info{
            {QStringLiteral("file"), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())},
            {QStringLiteral("format_version"), meta.formatVersion},
            {QStringLiteral("app"), textOrNull(meta.appName)},
            {QStringLiteral("app_version"), textOrNull(meta.appVersion)},
            {QStringLiteral("start"), RecordingFormat::utcText(meta.startedMs)},
            {QStringLiteral("end"), RecordingFormat::utcText(endMs)},
            {QStringLiteral("duration_s"), double(endMs - meta.startedMs) / 1000.0},
            {QStringLiteral("ended_cleanly"), endedCleanly},
            {QStringLiteral("port"), meta.port},
            {QStringLiteral("baud"), meta.baudRate},
            {QStringLiteral("interval_ms"), meta.intervalMs},
            {QStringLiteral("command"), meta.command},
            {QStringLiteral("protocol"),
             QJsonObject{
                     {QStringLiteral("name"), meta.protocolName},
                     {QStringLiteral("version"),
                      protocolLoads ? QJsonValue(protocol.version()) : QJsonValue()},
                     {QStringLiteral("file"), textOrNull(meta.protocolFile)},
                     {QStringLiteral("loads"), protocolLoads},
             }},
            {QStringLiteral("frames"),
             QJsonObject{
                     {QStringLiteral("rx"), counts.rx},
                     {QStringLiteral("tx"), counts.tx},
                     {QStringLiteral("total"), counts.rx + counts.tx},
             }},
            {QStringLiteral("events"),
             QJsonObject{
                     {QStringLiteral("total"), counts.events},
                     {QStringLiteral("kinds"), kinds},
             }},
    };
    print(out, info);
    return 0;
}

int RecordingCommands::replay(const ReplayOptions &options, QTextStream &out, QTextStream &err)
{
    RecordingReader reader;
    if (!reader.open(options.recording)) {
        err << reader.errorString() << Qt::endl;
        return 1;
    }
    RecordingReplay replay(&reader);
    const bool stored = options.protocolFile.isEmpty();
    if (!(stored ? replay.useStoredProtocol() : replay.useProtocolFile(options.protocolFile))) {
        err << replay.errorString() << Qt::endl;
        return 1;
    }

    // The table goes to a file beside the target and takes its place only when complete: a
    // replay that fails half-way leaves nothing behind, nor spoils an older table.
    const QString target = options.csvPath;
    const QString partial = target + QStringLiteral(".partial");
    CsvRowLog csv;
    if (!target.isEmpty()) {
        if (QFileInfo(target).absoluteFilePath()
            == QFileInfo(options.recording).absoluteFilePath()) {
            err << "the CSV file would overwrite the recording: " << target << Qt::endl;
            return 1;
        }
        QFile::remove(partial);
        csv.setProtocolConfig(replay.protocol());
        csv.setLanguage(options.language);
        const CsvWriteResult opened = csv.open(partial);
        if (!opened.ok) {
            err << "cannot write " << target << ": " << opened.error << Qt::endl;
            QFile::remove(partial);
            return 1;
        }
    }
    const auto abandon = [&](const QString &why) {
        if (!target.isEmpty())
            QFile::remove(partial);
        err << why << Qt::endl;
        return 1;
    };

    if (!replay.start())
        return abandon(replay.errorString());
    QList<Sample> batch;
    batch.reserve(kFramesPerStep);
    const std::function<void(const Sample &)> collect = [&batch, &target](const Sample &sample) {
        if (!target.isEmpty())
            batch.append(sample);
    };
    const auto write = [&]() {
        if (target.isEmpty() || batch.isEmpty())
            return true;
        const CsvWriteResult written = csv.append(batch);
        batch.clear();
        if (written.ok)
            return true;
        abandon(QStringLiteral("cannot write %1: %2").arg(target, written.error));
        return false;
    };
    bool more = true;
    while (more) {
        more = replay.step(kFramesPerStep, collect);
        if (!write())
            return 1;
    }
    if (replay.failed())
        return abandon(replay.errorString());
    if (!target.isEmpty()) {
        if (QFileInfo::exists(target) && !QFile::remove(target))
            return abandon(QStringLiteral("cannot replace %1").arg(target));
        if (!QFile::rename(partial, target))
            return abandon(QStringLiteral("cannot write %1").arg(target));
    }

    const RecordingReplaySummary &s = replay.summary();
    QJsonObject summary{
            {QStringLiteral("file"),
             QDir::toNativeSeparators(QFileInfo(options.recording).absoluteFilePath())},
            {QStringLiteral("protocol"), replay.protocol()->name()},
            {QStringLiteral("protocol_source"),
             stored ? QStringLiteral("recording") : QDir::toNativeSeparators(options.protocolFile)},
            {QStringLiteral("frames"), s.frames},
            {QStringLiteral("matched"), s.matched},
            {QStringLiteral("unmatched"), s.unmatched},
            {QStringLiteral("checksum_errors"), s.checksumErrors},
            {QStringLiteral("gaps"), s.gaps},
            {QStringLiteral("gap_threshold_ms"),
             s.gapThresholdMs > 0 ? QJsonValue(s.gapThresholdMs) : QJsonValue()},
            {QStringLiteral("longest_gap_ms"), s.longestGapMs},
    };
    if (!target.isEmpty()) {
        summary.insert(QStringLiteral("csv"), QDir::toNativeSeparators(target));
        summary.insert(QStringLiteral("rows"), csv.rowsWritten());
    }
    print(out, summary);
    return 0;
}
