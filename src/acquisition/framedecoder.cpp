#include "acquisition/framedecoder.h"

#include "acquisition/acquisitionlog.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QDateTime>

FrameDecoder::FrameDecoder(QObject *parent)
    : QObject(parent), m_frame(new ProtocolFrame(this)), m_processor(new DataProcessor(this))
{
    m_processor->setProtocolFrame(m_frame);
}

void FrameDecoder::setProtocolConfig(ProtocolConfig *config)
{
    m_config = config;
    if (config) {
        m_frame->setProtocolConfig(config);
        m_processor->setProtocolConfig(config);
    }
}

bool FrameDecoder::decode(const QString &frameText, qint64 timeMs, FrameRecord *record,
                          Sample *sample)
{
    record->timeMs = timeMs;
    record->direction = FrameRecord::Direction::Rx;
    record->text = frameText;
    record->command.clear();
    record->checksum = m_config ? checksumState(frameText, m_config->soi(), m_config->eoi())
                                : FrameRecord::Checksum::Absent;
    if (!m_config)
        return false;
    QString command;
    if (!m_processor->resolveCommandForFrame(frameText, command)) {
        qCWarning(lcAcquisition) << "Failed to parse frame for any known command:" << frameText;
        return false;
    }
    record->command = command;
    sample->timeMs = timeMs;
    sample->receivedAt = QDateTime::fromMSecsSinceEpoch(timeMs);
    sample->command = command;
    sample->frame = frameText;
    sample->checksum = record->checksum;
    sample->values = m_processor->processFrameValues(
            command, m_frame->parsedValues(),
            sample->receivedAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    return true;
}

FrameRecord::Checksum FrameDecoder::checksumState(const QString &frame, const QString &soi,
                                                  const QString &eoi)
{
    const qsizetype start = frame.indexOf(soi);
    const qsizetype end = frame.indexOf(eoi);
    if (soi.isEmpty() || eoi.isEmpty() || start < 0 || end < 0 || start >= end)
        return FrameRecord::Checksum::Absent;
    const QStringView content =
            QStringView(frame).mid(start + soi.size(), end - start - soi.size());
    if (content.size() < 12)
        return FrameRecord::Checksum::Absent;
    bool ok = false;
    const int bytes = content.mid(6, 4).toInt(&ok, 16);
    if (!ok || content.size() - 10 - 2 * qsizetype(bytes) != 2)
        return FrameRecord::Checksum::Absent; // only a regular two-character checksum is checked
    const QByteArray expected = ProtocolConfig::checksum(content.chopped(2).toUtf8());
    return content.right(2).toString().toUpper().toLatin1() == expected
            ? FrameRecord::Checksum::Ok
            : FrameRecord::Checksum::Mismatch;
}
