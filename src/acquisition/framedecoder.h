#pragma once

#include "acquisition/framerecord.h"
#include "acquisition/sample.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DataProcessor;
class ProtocolConfig;
class ProtocolFrame;

// The decode step of acquisition without a link: matches a frame text to the command it answers,
// checks its checksum characters and builds its value map, against one value store that keeps
// every segment's last value, as a live run does. A replay decodes recorded frames with it in
// the order they were received.
class FrameDecoder : public QObject
{
    Q_OBJECT

public:
    explicit FrameDecoder(QObject *parent = nullptr);

    // Not owned; the value store keeps its values across a change.
    void setProtocolConfig(ProtocolConfig *config);
    ProtocolConfig *protocolConfig() const { return m_config; }

    // Decodes one received frame. The record is always filled (its command stays empty when no
    // command accepts the frame); the sample only when one does, and then true is returned.
    bool decode(const QString &frameText, qint64 timeMs, FrameRecord *record, Sample *sample);

    // Whether a frame carries a regular two-character checksum and whether it matches.
    static FrameRecord::Checksum checksumState(const QString &frame, const QString &soi,
                                               const QString &eoi);

    ProtocolFrame *frameStore() const { return m_frame; }
    DataProcessor *processor() const { return m_processor; }

private:
    QPointer<ProtocolConfig> m_config;
    ProtocolFrame *m_frame = nullptr;
    DataProcessor *m_processor = nullptr;
};
