#include "responseencoder.h"

#include "protocol/protocolconfig.h"

namespace {

QByteArray hexText(quint64 raw, int length)
{
    if (length <= 0)
        return {};
    return QByteArray::number(raw, 16).toUpper().rightJustified(length, '0', true);
}

QByteArray twoChars(const QString &text, const char *fallback)
{
    const QByteArray t = text.toLatin1();
    if (t.isEmpty())
        return fallback;
    return t.rightJustified(2, '0', true);
}

// A raw request frame starts with the start mark, address, command and version; read them from it.
QByteArray rawField(const ProtocolConfig &config, const CommandDefinition &command, int pos)
{
    const QString soi = config.soi();
    if (command.raw.isEmpty() || !command.raw.startsWith(soi))
        return {};
    return command.raw.mid(soi.size() + pos, 2).toLatin1();
}

} // namespace

QByteArray ResponseEncoder::addressField(const ProtocolConfig &config,
                                         const CommandDefinition &command)
{
    if (command.addr.isEmpty()) {
        const QByteArray fromRaw = rawField(config, command, 0);
        if (fromRaw.size() == 2)
            return fromRaw;
    }
    return twoChars(command.addr, "01");
}

QByteArray ResponseEncoder::versionField(const ProtocolConfig &config,
                                         const CommandDefinition &command)
{
    if (command.ver.isEmpty()) {
        const QByteArray fromRaw = rawField(config, command, 4);
        if (fromRaw.size() == 2)
            return fromRaw;
    }
    return twoChars(command.ver, "01");
}

QByteArray ResponseEncoder::dataSection(const QList<DataSegment> &segments,
                                        const QList<quint64> &raws)
{
    QByteArray data;
    for (qsizetype i = 0; i < segments.size(); ++i)
        data += hexText(i < raws.size() ? raws.at(i) : 0, segments.at(i).length);
    if (data.size() % 2)
        data += '0'; // whole bytes only
    return data;
}

QByteArray ResponseEncoder::encode(const ProtocolConfig &config, const CommandDefinition &command,
                                   const QList<quint64> &raws, bool corruptChecksum)
{
    bool ok = false;
    const uint code = command.code.toUInt(&ok, 16);
    const uint answerCode = ((ok ? code : 0) + 0x80) & 0xFF;
    const QByteArray data = dataSection(command.dataSegments, raws);

    QByteArray body = addressField(config, command);
    body += hexText(answerCode, 2);
    body += versionField(config, command);
    body += hexText(quint64(data.size() / 2), 4);
    body += data;

    QByteArray checksum = ProtocolConfig::checksum(body);
    if (corruptChecksum) {
        const uint wrong = (checksum.toUInt(nullptr, 16) + 1) & 0xFF;
        checksum = hexText(wrong, 2);
    }
    return config.soi().toUtf8() + body + checksum + config.eoi().toUtf8();
}

QJsonObject ResponseEncoder::decodedValues(const QList<DataSegment> &segments,
                                           const QList<quint64> &raws)
{
    QJsonObject values;
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const DataSegment &s = segments.at(i);
        const quint64 raw = i < raws.size() ? raws.at(i) : 0;
        if (s.length > 0 && raw <= 0x7FFFFFFF)
            values.insert(s.name, double(raw) * s.scale + s.offset);
        else
            values.insert(s.name, QString::fromLatin1(hexText(raw, s.length)));
    }
    return values;
}
