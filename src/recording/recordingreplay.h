#pragma once

#include "acquisition/sample.h"
#include "recording/recordingreplaysummary.h"

#include <QList>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <vector>

class FrameDecoder;
class ProtocolConfig;
class RecordingReader;

// Decodes the received frames of a recording again, in the order they came in, against one value
// store as the live run did: with the protocol kept in the recording (switching where the run
// switched), or with another protocol file throughout, e.g. one whose scale has been corrected.
// Each answer becomes a sample stamped with its recorded receive time, in the recording
// machine's time zone.
class RecordingReplay
{
public:
    explicit RecordingReplay(RecordingReader *reader);
    ~RecordingReplay();
    RecordingReplay(const RecordingReplay &) = delete;
    RecordingReplay &operator=(const RecordingReplay &) = delete;

    // One of the two, before start(). False when the protocol does not load (errorText()).
    bool useStoredProtocol();
    bool useProtocolFile(const QString &path);
    // The protocol decoding starts with: its table columns are the table's.
    ProtocolConfig *protocol() const;

    bool start();
    // Decodes up to maxFrames more received frames and hands every answer to onSample. False
    // once there are none left, or on a read error (failed()).
    bool step(int maxFrames, const std::function<void(const Sample &)> &onSample);
    bool atEnd() const { return m_atEnd; }
    bool failed() const { return m_failed; }

    const RecordingReplaySummary &summary() const { return m_summary; }
    QString errorText(int language) const;
    QString errorString() const;

private:
    struct Switch
    {
        qint64 timeMs = 0;
        ProtocolConfig *config = nullptr;
    };
    bool protocolFailed(const QString &detail, bool stored);

    RecordingReader *m_reader = nullptr;
    std::unique_ptr<FrameDecoder> m_decoder;
    std::vector<std::unique_ptr<ProtocolConfig>> m_protocols;
    QList<Switch> m_switches;
    qsizetype m_nextSwitch = 0;
    QTimeZone m_zone; // valid only when it differs from this machine's
    RecordingReplaySummary m_summary;
    qint64 m_lastFrameMs = -1;
    bool m_atEnd = false;
    bool m_failed = false;
    QString m_protocolError;
    bool m_storedProtocolError = false;
};
