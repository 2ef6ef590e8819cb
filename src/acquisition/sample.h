#pragma once

#include "acquisition/framerecord.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariantHash>

// One received frame that answered a command, decoded into its value map.
struct Sample
{
    qint64 timeMs = 0; // receive time, UTC milliseconds since the epoch
    QDateTime receivedAt; // the same instant in local time, as the table shows it
    QString command; // the command the frame answered
    QString frame; // the frame text as cut from the stream
    // Segments, protocol version, derived figures and "timestamp", as the table and the value
    // fields take them.
    QVariantHash values;
    FrameRecord::Checksum checksum = FrameRecord::Checksum::Absent;
};

Q_DECLARE_METATYPE(Sample)
