#pragma once

#include <QMetaType>
#include <QString>

// Something that happened on the link, with the time it happened. Events carry kinds and
// details, not sentences: each front end words them itself.
struct AcquisitionEvent
{
    enum class Kind {
        Started, // polling began; detail: port
        Stopped, // polling ended; detail: port
        Timeout, // a request was not answered in time
        ChecksumMismatch, // a frame's checksum characters differ; detail: the frame
        SerialError, // detail: the port's error text
        BusBusy, // input was waiting when a request was due
        SendFailed, // a request could not be written; detail: why
        PortLost, // the open port went away; detail: port
        Reconnected, // the lost port is open again; detail: the port it was found under
        ProtocolChanged, // detail: the new protocol file's text
    };

    qint64 timeMs = 0; // UTC milliseconds since the epoch
    Kind kind = Kind::Started;
    QString detail;

    // Stable names, for files and other programs: "start", "stop", "timeout", "checksum",
    // "serial-error", "bus-busy", "send-failed", "port-lost", "reconnected", "protocol".
    static QString kindName(Kind kind)
    {
        switch (kind) {
        case Kind::Started:
            return QStringLiteral("start");
        case Kind::Stopped:
            return QStringLiteral("stop");
        case Kind::Timeout:
            return QStringLiteral("timeout");
        case Kind::ChecksumMismatch:
            return QStringLiteral("checksum");
        case Kind::SerialError:
            return QStringLiteral("serial-error");
        case Kind::BusBusy:
            return QStringLiteral("bus-busy");
        case Kind::SendFailed:
            return QStringLiteral("send-failed");
        case Kind::PortLost:
            return QStringLiteral("port-lost");
        case Kind::Reconnected:
            return QStringLiteral("reconnected");
        case Kind::ProtocolChanged:
            return QStringLiteral("protocol");
        }
        return QString();
    }
};

Q_DECLARE_METATYPE(AcquisitionEvent)
