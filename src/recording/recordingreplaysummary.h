#pragma once

#include <QtGlobal>

// What a replay found in the received frames of a recording.
struct RecordingReplaySummary
{
    qint64 frames = 0; // received frames
    qint64 matched = 0; // that answered a command (one table row each)
    qint64 unmatched = 0;
    qint64 checksumErrors = 0; // answers whose checksum characters differ
    qint64 gapThresholdMs = 0; // 3 × the polling interval; 0 when the interval is unknown
    qint64 gaps = 0; // pauses between two received frames longer than the threshold
    qint64 longestGapMs = 0; // the longest pause between two received frames
};
