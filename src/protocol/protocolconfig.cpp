#include "protocol/protocolconfig.h"

#include "protocol/protocollog.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// The loader's test: one or more of 0-9 and A-F, applied after upper-casing.
bool isUpperHex(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

// Unsigned reading of hex digits (either case) that fits a signed 32-bit integer; no sign,
// prefix or white space.
bool parseHex32(QStringView s, qint32 *value)
{
    if (s.isEmpty())
        return false;
    quint32 v = 0;
    for (QChar c : s) {
        const int d = hexDigit(c);
        if (d < 0 || v > 0x7FFFFFFu)
            return false;
        v = (v << 4) | quint32(d);
    }
    if (v > 0x7FFFFFFFu)
        return false;
    *value = qint32(v);
    return true;
}

// Rewriting an unchanged text would allocate on every frame; keep the stored one then.
void storeText(QVariantMap &values, const QString &key, QStringView text)
{
    auto it = values.find(key);
    if (it == values.end()) {
        values.insert(key, text.toString());
        return;
    }
    if (it->typeId() == QMetaType::QString
        && *static_cast<const QString *>(it->constData()) == text)
        return;
    *it = text.toString();
}

QString readString(const QJsonObject &obj, const QString &key, const QString &fallback = {})
{
    const QJsonValue v = obj.value(key);
    return v.isString() ? v.toString() : fallback;
}

// Whole numbers within the 32-bit signed range only; fractions, text and overflow give fallback.
qint32 readInt(const QJsonObject &obj, const QString &key, qint32 fallback)
{
    const QJsonValue v = obj.value(key);
    if (!v.isDouble())
        return fallback;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < double(std::numeric_limits<qint32>::min())
        || d > double(std::numeric_limits<qint32>::max()))
        return fallback;
    return qint32(d);
}

double readReal(const QJsonObject &obj, const QString &key, double fallback)
{
    const QJsonValue v = obj.value(key);
    return v.isDouble() ? v.toDouble() : fallback;
}

QString normalised(const QString &s)
{
    return s.trimmed().toUpper();
}

void applyLengthRule(CommandDefinition &cmd, const QString &s)
{
    QString t = normalised(s);
    if (t.isEmpty())
        return;
    if (!isUpperHex(t)) {
        qCWarning(lcProtocol) << "Invalid length hex in command" << cmd.name << ":" << s;
        return;
    }
    if (t.size() % 2 != 0)
        t.prepend(QLatin1Char('0'));
    cmd.len = t;
    cmd.hasLength = true;
}

void applyPayloadRule(CommandDefinition &cmd, const QString &s)
{
    const QString t = normalised(s);
    if (t.isEmpty())
        return;
    if (!isUpperHex(t)) {
        qCWarning(lcProtocol) << "Invalid payload hex in command" << cmd.name << ":" << s;
        return;
    }
    if (t.size() % 2 != 0) {
        qCWarning(lcProtocol) << "Payload hex length must be even in command" << cmd.name << ":"
                              << s;
        return;
    }
    cmd.payload = t;
    cmd.hasPayload = true;
}

// `data` may carry either the length or the payload; the first matching rule decides.
void applyDataRule(CommandDefinition &cmd, const QString &d, bool hasLenKey, bool hasPayloadKey)
{
    const QString t = normalised(d);
    const bool isShort = t.size() >= 1 && t.size() <= 4 && isUpperHex(t);
    if (cmd.hasLength) {
        if (!cmd.hasPayload)
            applyPayloadRule(cmd, d);
    } else if (hasLenKey || (!hasPayloadKey && isShort)) {
        applyLengthRule(cmd, d);
    } else if (!cmd.hasPayload) {
        applyPayloadRule(cmd, d);
    } else if (isShort) {
        applyLengthRule(cmd, d);
    }
}

void readRequest(CommandDefinition &cmd, const QJsonObject &req)
{
    if (req.contains(QLatin1String("raw"))) {
        cmd.raw = readString(req, QStringLiteral("raw")).trimmed();
        if (!cmd.raw.isEmpty()) {
            cmd.hasRequest = true;
            qCDebug(lcProtocol) << "Command" << cmd.name << "using raw request:" << cmd.raw;
        }
        return;
    }

    cmd.addr = normalised(readString(req, QStringLiteral("addr")));
    cmd.cmd = normalised(readString(req, QStringLiteral("cmd")));
    cmd.ver = normalised(readString(req, QStringLiteral("ver")));
    const bool hasLenKey = req.contains(QLatin1String("len"));
    const bool hasPayloadKey = req.contains(QLatin1String("payload"));
    applyLengthRule(cmd, readString(req, QStringLiteral("len")));
    applyPayloadRule(cmd, readString(req, QStringLiteral("payload")));
    const QString data = readString(req, QStringLiteral("data"));
    if (!data.isEmpty())
        applyDataRule(cmd, data, hasLenKey, hasPayloadKey);
    cmd.hasRequest = !cmd.addr.isEmpty() && !cmd.ver.isEmpty()
            && (!cmd.cmd.isEmpty() || !cmd.code.isEmpty());
}

void readSegments(CommandDefinition &cmd, const QJsonObject &response)
{
    const QJsonValue segs = response.value(QLatin1String("dataSegments"));
    if (!segs.isArray())
        return;
    const QJsonArray array = segs.toArray();
    for (const QJsonValue &v : array) {
        if (!v.isObject())
            continue;
        const QJsonObject o = v.toObject();
        DataSegment seg;
        seg.name = readString(o, QStringLiteral("name")).trimmed();
        seg.length = readInt(o, QStringLiteral("length"), 0);
        if (seg.length < 0) {
            // A negative width would move the read position backwards over the data section.
            qCWarning(lcProtocol) << "Negative segment length in command" << cmd.name << ":"
                                  << seg.name << "; treated as 0";
            seg.length = 0;
        }
        seg.offset = readReal(o, QStringLiteral("offset"), 0.0);
        seg.scale = readReal(o, QStringLiteral("scale"), 0.0);
        seg.unit = readString(o, QStringLiteral("unit"));
        seg.type = readString(o, QStringLiteral("type"));
        seg.uiField = readString(o, QStringLiteral("uiField"));
        cmd.dataSegments.append(seg);
    }
}

QList<Calculation> readCalculations(const QJsonObject &processing, const QString &key)
{
    QList<Calculation> list;
    const QJsonValue group = processing.value(key);
    if (!group.isObject())
        return list;
    const QJsonObject obj = group.toObject();
    for (auto it = obj.constBegin(); it != obj.constEnd(); ++it) {
        if (!it.value().isObject())
            continue;
        const QJsonObject o = it.value().toObject();
        Calculation calc;
        calc.name = it.key();
        const QJsonValue src = o.value(QLatin1String("source"));
        if (src.isArray()) {
            const QJsonArray arr = src.toArray();
            for (const QJsonValue &s : arr)
                calc.source.append(s.isString() ? s.toString() : QString());
        }
        calc.operation = readString(o, QStringLiteral("operation"));
        calc.uiField = readString(o, QStringLiteral("uiField"));
        list.append(calc);
    }
    return list;
}

} // namespace

ProtocolConfig::ProtocolConfig(QObject *parent) : QObject(parent) { }

void ProtocolConfig::clearModel()
{
    m_commands.clear();
    m_segmentOrder.clear();
    m_voltageCalculations.clear();
    m_temperatureCalculations.clear();
    m_otherCalculations.clear();
    m_tableColumns.clear();
    m_defaultCommand.clear();
}

bool ProtocolConfig::loadConfig(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        clearModel();
        m_sourceData.clear();
        m_filePath = filePath;
        m_lastError = QStringLiteral("Cannot open config file: %1").arg(filePath);
        emit configError(m_lastError);
        return false;
    }
    return loadConfigData(file.readAll(), filePath);
}

bool ProtocolConfig::loadConfigData(const QByteArray &bytes, const QString &origin)
{
    m_filePath = origin;
    m_sourceData = bytes;
    clearModel();
    m_lastError.clear();

    auto fail = [this](const QString &error, bool signal) {
        m_lastError = error;
        if (signal)
            emit configError(error);
        return false;
    };

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return fail(QStringLiteral("Invalid JSON format"), true);
    const QJsonObject root = doc.object();
    if (!root.contains(QLatin1String("protocol")))
        return fail(QStringLiteral("Missing 'protocol' section"), true);
    const QJsonObject proto = root.value(QLatin1String("protocol")).toObject();

    m_name = readString(proto, QStringLiteral("name")).trimmed();
    m_version = readString(proto, QStringLiteral("version")).trimmed();
    m_defaultCommand = readString(proto, QStringLiteral("defaultCommand")).trimmed();
    const QJsonValue frame = proto.value(QLatin1String("frame"));
    if (frame.isObject()) {
        const QJsonObject f = frame.toObject();
        m_soi = readString(f, QStringLiteral("SOI"), QStringLiteral(":"));
        m_eoi = readString(f, QStringLiteral("EOI"), QStringLiteral("~"));
        m_encoding = readString(f, QStringLiteral("encoding"), QStringLiteral("ASCII_HEX"));
    }
    if (m_name.isEmpty())
        return fail(QStringLiteral("Protocol name is empty"), false);
    if (m_version.isEmpty())
        return fail(QStringLiteral("Protocol version is empty"), false);

    const QJsonValue commands = proto.value(QLatin1String("commands"));
    if (commands.isArray()) {
        QString fallback;
        const QJsonArray array = commands.toArray();
        for (const QJsonValue &v : array) {
            if (!v.isObject())
                continue;
            const QJsonObject o = v.toObject();
            CommandDefinition cmd;
            cmd.name = readString(o, QStringLiteral("name")).trimmed();
            if (cmd.name.isEmpty()) {
                qCWarning(lcProtocol) << "Command definition missing name; skip entry";
                continue;
            }
            if (m_commands.contains(cmd.name)) {
                qCWarning(lcProtocol).nospace()
                        << "Duplicate command name " << cmd.name << "; later entry ignored";
                continue;
            }
            cmd.code = normalised(readString(o, QStringLiteral("code")));
            const QJsonValue req = o.value(QLatin1String("request"));
            if (req.isObject())
                readRequest(cmd, req.toObject());
            const QJsonValue resp = o.value(QLatin1String("response"));
            if (resp.isObject())
                readSegments(cmd, resp.toObject());
            if (cmd.hasRequest && fallback.isEmpty())
                fallback = cmd.name;
            QList<int> order(cmd.dataSegments.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&cmd](int a, int b) {
                return cmd.dataSegments.at(a).name < cmd.dataSegments.at(b).name;
            });
            m_segmentOrder.insert(cmd.name, order);
            m_commands.insert(cmd.name, cmd);
        }

        if (!m_defaultCommand.isEmpty() && !commandHasRequest(m_defaultCommand)) {
            qCWarning(lcProtocol) << "Default command" << m_defaultCommand
                                  << "is missing or has no request definition; using fallback";
            m_defaultCommand.clear();
        }
        if (m_defaultCommand.isEmpty()) {
            if (!fallback.isEmpty())
                m_defaultCommand = fallback;
            else if (!m_commands.isEmpty())
                m_defaultCommand = m_commands.firstKey();
        }
        if (m_commands.isEmpty())
            return fail(QStringLiteral("No usable command in 'commands'"), false);
    }

    const QJsonValue processing = proto.value(QLatin1String("dataProcessing"));
    if (processing.isObject()) {
        const QJsonObject p = processing.toObject();
        m_voltageCalculations = readCalculations(p, QStringLiteral("voltageCalculations"));
        m_temperatureCalculations = readCalculations(p, QStringLiteral("temperatureCalculations"));
        m_otherCalculations = readCalculations(p, QStringLiteral("otherCalculations"));
    }

    const QJsonValue mapping = proto.value(QLatin1String("tableMapping"));
    if (mapping.isObject()) {
        const QJsonValue columns = mapping.toObject().value(QLatin1String("columns"));
        if (columns.isArray()) {
            const QJsonArray array = columns.toArray();
            for (const QJsonValue &v : array) {
                if (!v.isObject())
                    continue;
                const QJsonObject o = v.toObject();
                TableColumn col;
                col.header = readString(o, QStringLiteral("header"));
                col.field = readString(o, QStringLiteral("field"));
                col.width = readInt(o, QStringLiteral("width"), 80);
                col.type = readString(o, QStringLiteral("type"));
                col.dataField = readString(o, QStringLiteral("dataField"));
                col.format = readString(o, QStringLiteral("format"));
                m_tableColumns.append(col);
            }
        }
        if (m_tableColumns.isEmpty())
            return fail(QStringLiteral("No table column in 'tableMapping'"), false);
    }

    emit configLoaded();
    return true;
}

QStringList ProtocolConfig::commandNames() const
{
    return m_commands.keys();
}

QStringList ProtocolConfig::requestCommandNames() const
{
    QStringList names;
    for (auto it = m_commands.constBegin(); it != m_commands.constEnd(); ++it) {
        if (it->hasRequest)
            names.append(it.key());
    }
    return names;
}

bool ProtocolConfig::commandHasRequest(const QString &commandName) const
{
    const auto it = m_commands.constFind(commandName);
    return it != m_commands.constEnd() && it->hasRequest;
}

QList<DataSegment> ProtocolConfig::dataSegments(const QString &commandName) const
{
    const auto it = m_commands.constFind(commandName);
    return it != m_commands.constEnd() ? it->dataSegments : QList<DataSegment>();
}

CommandDefinition ProtocolConfig::command(const QString &commandName) const
{
    return m_commands.value(commandName);
}

QByteArray ProtocolConfig::checksum(const QByteArray &text)
{
    quint32 sum = 0;
    for (char c : text)
        sum += quint8(c);
    const quint8 crc = quint8(0xFF - (sum & 0xFF));
    static const char digits[] = "0123456789ABCDEF";
    const char out[2] = {digits[crc >> 4], digits[crc & 0x0F]};
    return QByteArray(out, 2);
}

QByteArray ProtocolConfig::buildRequestFrame(const QString &commandName) const
{
    const auto it = m_commands.constFind(commandName);
    if (it == m_commands.constEnd()) {
        qCWarning(lcProtocol) << "Command not found in configuration" << commandName;
        return {};
    }
    const CommandDefinition &cmd = *it;
    if (!cmd.hasRequest) {
        qCWarning(lcProtocol) << "Command has no request definition" << commandName;
        return {};
    }
    if (!cmd.raw.isEmpty()) {
        qCDebug(lcProtocol) << "Using raw request frame:" << cmd.raw;
        return cmd.raw.toUtf8();
    }

    const QString &command = cmd.cmd.isEmpty() ? cmd.code : cmd.cmd;
    if (cmd.addr.isEmpty() || command.isEmpty() || cmd.ver.isEmpty()) {
        qCWarning(lcProtocol) << "Command request fields incomplete" << commandName;
        return {};
    }

    const QString payload = cmd.hasPayload ? normalised(cmd.payload) : QString();
    if (!payload.isEmpty() && (!isUpperHex(payload) || payload.size() % 2 != 0)) {
        qCWarning(lcProtocol) << "Invalid payload definition for command" << commandName << payload;
        return {};
    }

    QString length = cmd.hasLength
            ? normalised(cmd.len)
            : QString::number(payload.size() / 2, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    if (length.isEmpty())
        length = QStringLiteral("0000");
    if (length.size() % 2 != 0)
        length.prepend(QLatin1Char('0'));
    if (!isUpperHex(length)) {
        qCWarning(lcProtocol) << "Invalid length definition for command" << commandName << length;
        return {};
    }

    QByteArray frame = (m_soi + cmd.addr + command + cmd.ver + length + payload).toUtf8();
    // The start mark is not summed; the encoded frame begins with its bytes.
    const qsizetype soiBytes = m_soi.toUtf8().size();
    const QByteArray summed = frame.mid(soiBytes);
    const QByteArray crc = checksum(summed);

    if (lcProtocol().isDebugEnabled()) {
        quint32 sum = 0;
        for (char c : summed)
            sum += quint8(c);
        const quint32 low = sum & 0xFF;
        const quint32 value = 0xFF - low;
        auto hex = [](quint32 v) { return QString::number(v, 16).toUpper(); };
        qCDebug(lcProtocol) << "=== CRC CALCULATION ===";
        qCDebug(lcProtocol) << "Frame before CRC:" << QString::fromUtf8(frame);
        qCDebug(lcProtocol) << "Data for CRC:" << QString::fromUtf8(summed);
        qCDebug(lcProtocol) << "Data bytes (hex):" << summed.toHex(' ').toUpper();
        for (char c : summed) {
            const quint8 b = quint8(c);
            qCDebug(lcProtocol).noquote().nospace()
                    << "  Byte: " << b << " (0x" << hex(b) << ") char:'" << QChar(b) << "'";
        }
        qCDebug(lcProtocol).noquote().nospace() << "Sum: " << sum << " (0x" << hex(sum) << ")";
        qCDebug(lcProtocol).noquote().nospace()
                << "Sum & 0xFF: " << low << " (0x" << hex(low) << ")";
        qCDebug(lcProtocol).noquote().nospace()
                << "CRC (0xFF - above): " << value << " (0x" << hex(value) << ")";
        qCDebug(lcProtocol) << "CRC string:" << crc;
        qCDebug(lcProtocol) << "Complete frame:" << frame + crc + m_eoi.toUtf8();
        qCDebug(lcProtocol) << "===================";
    }

    frame += crc;
    frame += m_eoi.toUtf8();
    return frame;
}

bool ProtocolConfig::parseResponseFrame(const QByteArray &frameBytes, const QString &commandName,
                                        QVariantMap &values) const
{
    return parseResponseText(QString::fromUtf8(frameBytes), commandName, values);
}

bool ProtocolConfig::parseResponseText(QStringView frame, const QString &commandName,
                                       QVariantMap &values) const
{
    // Asked once: the lines below run for every frame and every segment, and even a disabled
    // line costs a category lookup.
    const bool debug = lcProtocol().isDebugEnabled();
    if (debug)
        qCDebug(lcProtocol) << "parseResponseFrame: commandName =" << commandName;

    const auto it = m_commands.constFind(commandName);
    if (it == m_commands.constEnd()) {
        if (debug) {
            qCDebug(lcProtocol) << "Command not found in config:" << commandName;
            qCDebug(lcProtocol) << "Available commands:" << commandNames();
        }
        return false;
    }
    const CommandDefinition &cmd = *it;

    const qsizetype soiIndex = frame.indexOf(m_soi);
    const qsizetype eoiIndex = frame.indexOf(m_eoi);
    if (debug) {
        qCDebug(lcProtocol) << "Frame string:" << frame;
        qCDebug(lcProtocol) << "SOI:" << m_soi << "at index" << soiIndex;
        qCDebug(lcProtocol) << "EOI:" << m_eoi << "at index" << eoiIndex;
    }
    if (soiIndex < 0 || eoiIndex < 0 || soiIndex >= eoiIndex) {
        if (debug)
            qCDebug(lcProtocol) << "Invalid frame boundaries - SOI index:" << soiIndex
                                << "EOI index:" << eoiIndex;
        return false;
    }

    const qsizetype contentStart = soiIndex + m_soi.size();
    // An empty end mark is found at 0 and a start mark may overlap the end mark: never a
    // negative length.
    const QStringView content =
            frame.mid(contentStart, qMax<qsizetype>(0, eoiIndex - contentStart));
    if (debug) {
        qCDebug(lcProtocol) << "Frame content:" << content;
        qCDebug(lcProtocol) << "Frame content length:" << content.size();
    }

    constexpr qsizetype dataStart = 10;
    if (content.size() < dataStart) {
        if (debug)
            qCDebug(lcProtocol) << "Frame content too short:" << content.size();
        return false;
    }

    const QStringView addr = content.mid(0, 2);
    const QStringView cmdField = content.mid(2, 2);
    const QStringView ver = content.mid(4, 2);
    const QStringView len = content.mid(6, 4);

    qint32 codeValue = 0;
    const bool codeOk = parseHex32(cmd.code, &codeValue);
    const qint64 expected = (codeOk ? qint64(codeValue) : 0) + 0x80;
    qint32 actual = 0;
    if (!parseHex32(cmdField, &actual))
        actual = 0;
    if (debug) {
        qCDebug(lcProtocol) << "Addr:" << addr << "Cmd:" << cmdField << "Ver:" << ver
                            << "Len:" << len;
        qCDebug(lcProtocol) << "=== CMD VERIFICATION ===";
        qCDebug(lcProtocol) << "Command name:" << commandName;
        qCDebug(lcProtocol) << "Request Cmd (from config):" << cmd.code << "=" << codeValue;
        qCDebug(lcProtocol) << "Expected response Cmd:" << QString::number(expected, 16).toUpper()
                            << "=" << expected;
        qCDebug(lcProtocol) << "Actual response Cmd:" << cmdField << "=" << actual;
    }
    if (actual != expected) {
        qCWarning(lcProtocol) << "CMD MISMATCH! Expected:"
                              << QString::number(expected, 16).toUpper() << "but got:" << cmdField;
        qCWarning(lcProtocol) << "This response frame does not belong to command:" << commandName;
        return false;
    }
    if (debug) {
        qCDebug(lcProtocol) << "CMD verification passed!";
        qCDebug(lcProtocol) << "=======================";
    }

    storeText(values, QStringLiteral("ProtocolVersion"), ver);

    qint32 byteCount = 0;
    const bool lenOk = parseHex32(len, &byteCount);
    const qsizetype dataLength = lenOk ? 2 * qsizetype(byteCount) : 0;
    const qsizetype crcLength = content.size() - dataStart - dataLength;
    if (debug) {
        qCDebug(lcProtocol) << "Data length (hex):" << len << "-> (dec):" << byteCount << "bytes,"
                            << dataLength << "chars";
        qCDebug(lcProtocol) << "CRC length detected:" << crcLength
                            << "chars (frameContent.length:" << content.size()
                            << "- dataStart:" << dataStart << "- dataLength:" << dataLength << ")";
    }
    if (!lenOk || crcLength < 0) {
        if (debug)
            qCDebug(lcProtocol) << "Frame length check failed. Content length:" << content.size()
                                << "Data start:" << dataStart << "Data length:" << dataLength
                                << "CRC length:" << crcLength << "len.toInt ok:" << lenOk;
        return false;
    }

    const QStringView data = content.mid(dataStart, dataLength);
    if (debug) {
        qCDebug(lcProtocol) << "Data section:" << data;
        qCDebug(lcProtocol) << "Data section length:" << data.size();
        qCDebug(lcProtocol) << "Number of segments to parse:" << cmd.dataSegments.size();
    }

    // Cut and decode in protocol order (a short data section ends the cutting), then store in
    // name order: one walk along the sorted store instead of a tree search per segment.
    struct Decoded
    {
        QStringView raw;
        double value = 0.0;
        bool isNumber = false;
    };
    const qsizetype segmentCount = cmd.dataSegments.size();
    QVarLengthArray<Decoded, 64> decoded(segmentCount);
    qsizetype cut = 0;
    qsizetype pos = 0;
    for (const DataSegment &seg : cmd.dataSegments) {
        const qsizetype segLength = qMax<qsizetype>(0, seg.length);
        if (debug)
            qCDebug(lcProtocol) << "Parsing segment:" << seg.name << "at pos" << pos << "length"
                                << segLength;
        if (pos + segLength > data.size()) {
            if (debug)
                qCDebug(lcProtocol) << "Not enough data for segment" << seg.name << "Pos:" << pos
                                    << "Need:" << segLength << "Available:" << data.size() - pos;
            break;
        }
        Decoded &d = decoded[cut++];
        d.raw = data.mid(pos, segLength);
        qint32 number = 0;
        d.isNumber = parseHex32(d.raw, &number);
        if (d.isNumber)
            d.value = double(number) * seg.scale + seg.offset;
        if (debug) {
            qCDebug(lcProtocol) << "Segment" << seg.name << "raw value:" << d.raw;
            if (d.isNumber)
                qCDebug(lcProtocol)
                        << "Segment" << seg.name << "parsed value:" << d.value << seg.unit;
            else
                qCDebug(lcProtocol) << "Failed to parse segment" << seg.name << "as hex";
        }
        pos += segLength;
    }

    // Stable by name, so that of two segments of one name the later one is stored last.
    const QList<int> order = m_segmentOrder.value(commandName);
    auto slot = values.begin();
    for (int index : order) {
        if (index >= cut)
            continue;
        const QString &name = cmd.dataSegments.at(index).name;
        while (slot != values.end() && slot.key() < name)
            ++slot;
        const Decoded &d = decoded[index];
        if (slot == values.end() || slot.key() != name) {
            slot = values.insert(slot, name,
                                 d.isNumber ? QVariant(d.value) : QVariant(d.raw.toString()));
        } else if (d.isNumber) {
            *slot = d.value;
        } else if (slot->typeId() != QMetaType::QString
                   || *static_cast<const QString *>(slot->constData()) != d.raw) {
            // Rewriting an unchanged text would allocate on every frame.
            *slot = d.raw.toString();
        }
    }

    if (debug)
        qCDebug(lcProtocol) << "Parse complete. Total parsed values:" << values.size();
    return true;
}
