#pragma once

#include <QString>

// One row of a recording's events table.
struct RecordedEvent
{
    qint64 timeMs = 0; // UTC milliseconds since the epoch
    QString kind; // "start", "timeout", "protocol", "alarm-raised", ...
    QString text; // detail; for "protocol" the new protocol file's text
};
