#include "recording/recordingmeta.h"

#include "acquisition/acquisitionengine.h"
#include "protocol/protocolconfig.h"
#include "recording/recordingformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

RecordingMeta RecordingMeta::ofEngine(const AcquisitionEngine *engine, qint64 startedMs)
{
    RecordingMeta meta;
    meta.formatVersion = RecordingFormat::version;
    meta.appName = QCoreApplication::applicationName();
    meta.appVersion = QCoreApplication::applicationVersion();
    meta.startedMs = startedMs;
    const AcquisitionSettings &settings = engine->settings();
    meta.port = engine->currentPort().isEmpty() ? settings.port : engine->currentPort();
    meta.baudRate = settings.baudRate;
    meta.intervalMs = settings.intervalMs;
    meta.command = settings.command;
    if (const ProtocolConfig *config = engine->protocolConfig()) {
        meta.protocolName = config->name();
        meta.protocolFile = config->filePath();
        meta.protocolJson = config->sourceData();
    }
    meta.timeZone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    return meta;
}

QList<QPair<QString, QString>> RecordingMeta::rows() const
{
    using F = RecordingFormat;
    const auto key = [](const char *k) { return QString::fromLatin1(k); };
    QList<QPair<QString, QString>> list{
            {key(F::formatVersionKey), QString::number(F::version)},
            {key(F::appNameKey), appName},
            {key(F::appVersionKey), appVersion},
            {key(F::startedUtcKey), F::utcText(startedMs)},
            {key(F::startedMsKey), QString::number(startedMs)},
            {key(F::portKey), port},
            {key(F::baudKey), QString::number(baudRate)},
            {key(F::intervalKey), QString::number(intervalMs)},
            {key(F::commandKey), command},
            {key(F::protocolNameKey), protocolName},
            {key(F::protocolFileKey), protocolFile},
            {key(F::protocolJsonKey), QString::fromUtf8(protocolJson)},
            {key(F::timeZoneKey), timeZone},
    };
    if (endedMs >= 0) {
        list.append({key(F::endedUtcKey), F::utcText(endedMs)});
        list.append({key(F::endedMsKey), QString::number(endedMs)});
    }
    return list;
}

RecordingMeta RecordingMeta::fromRows(const QList<QPair<QString, QString>> &rows)
{
    using F = RecordingFormat;
    RecordingMeta meta;
    QString startedUtc;
    QString endedUtc;
    for (const auto &[key, value] : rows) {
        const QByteArray k = key.toLatin1();
        if (k == F::formatVersionKey)
            meta.formatVersion = value.trimmed().toInt();
        else if (k == F::appNameKey)
            meta.appName = value;
        else if (k == F::appVersionKey)
            meta.appVersion = value;
        else if (k == F::startedMsKey)
            meta.startedMs = value.toLongLong();
        else if (k == F::startedUtcKey)
            startedUtc = value;
        else if (k == F::endedMsKey)
            meta.endedMs = value.toLongLong();
        else if (k == F::endedUtcKey)
            endedUtc = value;
        else if (k == F::portKey)
            meta.port = value;
        else if (k == F::baudKey)
            meta.baudRate = value.toInt();
        else if (k == F::intervalKey)
            meta.intervalMs = value.toInt();
        else if (k == F::commandKey)
            meta.command = value;
        else if (k == F::protocolNameKey)
            meta.protocolName = value;
        else if (k == F::protocolFileKey)
            meta.protocolFile = value;
        else if (k == F::protocolJsonKey)
            meta.protocolJson = value.toUtf8();
        else if (k == F::timeZoneKey)
            meta.timeZone = value;
    }
    // Files written by other programs may carry only the texts the format requires.
    const auto parse = [](const QString &text) {
        const QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
        return at.isValid() ? at.toMSecsSinceEpoch() : qint64(-1);
    };
    if (meta.startedMs == 0 && !startedUtc.isEmpty())
        meta.startedMs = qMax<qint64>(0, parse(startedUtc));
    if (meta.endedMs < 0 && !endedUtc.isEmpty())
        meta.endedMs = parse(endedUtc);
    return meta;
}
