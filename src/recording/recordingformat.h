#pragma once

#include <QString>
#include <QStringList>

// The recording file: one SQLite database per acquisition run (docs/recording-format.md).
// Table and column names are fixed: other programs read them.
class RecordingFormat
{
public:
    // Written as meta format_version; a reader refuses files of a higher version.
    static constexpr int version = 1;
    // PRAGMA application_id of every recording ("CSRC"), so that file(1) and others can tell.
    static constexpr int applicationId = 0x43535243;

    static QString extension() { return QStringLiteral("csrec"); }

    // The statements that make an empty recording, in order.
    static QStringList schema();

    // Meta keys.
    static constexpr const char *formatVersionKey = "format_version";
    static constexpr const char *appNameKey = "app_name";
    static constexpr const char *appVersionKey = "app_version";
    static constexpr const char *startedUtcKey = "started_utc";
    static constexpr const char *startedMsKey = "started_ms";
    static constexpr const char *endedUtcKey = "ended_utc";
    static constexpr const char *endedMsKey = "ended_ms";
    static constexpr const char *portKey = "port";
    static constexpr const char *baudKey = "baud";
    static constexpr const char *intervalKey = "interval_ms";
    static constexpr const char *commandKey = "command";
    static constexpr const char *protocolNameKey = "protocol_name";
    static constexpr const char *protocolFileKey = "protocol_file";
    static constexpr const char *protocolJsonKey = "protocol_json";
    static constexpr const char *timeZoneKey = "time_zone";

    // "2026-01-05T06:03:27.120Z"
    static QString utcText(qint64 timeMs);
};
