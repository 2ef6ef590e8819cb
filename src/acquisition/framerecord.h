#pragma once

#include <QMetaType>
#include <QString>

// One frame on the wire: a request as written, or a frame as cut from the received stream.
struct FrameRecord
{
    enum class Direction { Tx, Rx };
    // Whether a received frame's two checksum characters match its content.
    enum class Checksum { Absent, Ok, Mismatch };

    qint64 timeMs = 0; // UTC milliseconds since the epoch
    Direction direction = Direction::Rx;
    QString text; // exactly as sent, or as cut from the stream
    QString command; // the command requested or answered; empty when a frame answers none
    Checksum checksum = Checksum::Absent; // always Absent for requests
};

Q_DECLARE_METATYPE(FrameRecord)
