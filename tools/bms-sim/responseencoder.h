#pragma once

#include "protocol/commanddefinition.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

class ProtocolConfig;

// Builds the response frame a BMS sends for a command: start mark, address, command code plus
// 0x80, version, 4-digit length, data section, checksum (as for a request), end mark.
class ResponseEncoder
{
public:
    // The data section: every segment's raw number as upper-case hex of its length.
    static QByteArray dataSection(const QList<DataSegment> &segments, const QList<quint64> &raws);

    static QByteArray encode(const ProtocolConfig &config, const CommandDefinition &command,
                             const QList<quint64> &raws, bool corruptChecksum = false);

    // What a receiver decodes from a raw number: raw × scale + offset, or the segment text where
    // that is not a 32-bit hex number.
    static QJsonObject decodedValues(const QList<DataSegment> &segments,
                                     const QList<quint64> &raws);

    // Two-character address and version of a command's answer.
    static QByteArray addressField(const ProtocolConfig &config, const CommandDefinition &command);
    static QByteArray versionField(const ProtocolConfig &config, const CommandDefinition &command);
};
