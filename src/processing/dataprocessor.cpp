#include "processing/dataprocessor.h"

#include "processing/processinglog.h"
#include "protocol/datasegment.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <array>

namespace {

constexpr int kCellCount = 16;
constexpr int kProbeCount = 4;

// Every key of the value map, built once: the map is filled for every received frame.
struct Keys
{
    std::array<QString, kCellCount> cells;
    std::array<QString, kProbeCount> probes;

    const QString protocolVersion = QStringLiteral("ProtocolVersion");
    const QString fieldProtocolVersion = QStringLiteral("data_protocolversion");
    const QString remainCap = QStringLiteral("remain_cap");
    const QString fullCap = QStringLiteral("full_cap");
    const QString soc = QStringLiteral("soc");
    const QString soh = QStringLiteral("soh");
    const QString socPercent = QStringLiteral("soc_percent");
    const QString maxV = QStringLiteral("data_maxv");
    const QString minV = QStringLiteral("data_minv");
    const QString cellCount = QStringLiteral("data_cellcount");
    const QString number = QStringLiteral("data_number");
    const QString totalV = QStringLiteral("data_totalv");
    const QString voltageDiff = QStringLiteral("voltage_diff");
    const QString chgCur = QStringLiteral("ChgCur");
    const QString dsgCur = QStringLiteral("DsgCur");
    const QString current = QStringLiteral("data_current");
    const QString currentStatus = QStringLiteral("current_status");
    const QString maxTemp = QStringLiteral("data_maxtemperature");
    const QString minTemp = QStringLiteral("data_mintemperature");
    const QString avgTemp = QStringLiteral("avg_temp");
    const QString tempDiff = QStringLiteral("temp_diff");
    const QString workState = QStringLiteral("WorkState");
    const QString workStateValue = QStringLiteral("workStateValue");
    const QString balanceState = QStringLiteral("BlanceState");
    const QString timestamp = QStringLiteral("timestamp");

    // Texts stored in the map (Chinese, translated where shown).
    const QString charging = QStringLiteral("充电");
    const QString discharging = QStringLiteral("放电");
    const QString idle = QStringLiteral("静止");
    const QString abnormal = QStringLiteral("异常");
    const QString standby = QStringLiteral("待机");

    struct WorkStateEntry
    {
        QString code;
        QString text;
    };
    // Compared in this order; codes are whole words.
    const std::array<WorkStateEntry, 17> workStates{{
            {QStringLiteral("CA00"), QStringLiteral("充放电同时低温保护")},
            {QStringLiteral("C500"), QStringLiteral("充放电同时高温保护")},
            {QStringLiteral("A006"), QStringLiteral("加热中")},
            {QStringLiteral("A005"), QStringLiteral("均衡中")},
            {QStringLiteral("A200"), QStringLiteral("充电低温保护")},
            {QStringLiteral("A100"), QStringLiteral("充电高温保护")},
            {QStringLiteral("A010"), QStringLiteral("充电过流保护")},
            {QStringLiteral("A004"), QStringLiteral("过压保护")},
            {QStringLiteral("5800"), QStringLiteral("放电低温保护")},
            {QStringLiteral("5400"), QStringLiteral("放电高温保护")},
            {QStringLiteral("5300"), QStringLiteral("MOS管高温保护")},
            {QStringLiteral("5080"), QStringLiteral("放电过流保护")},
            {QStringLiteral("5020"), QStringLiteral("短路保护")},
            {QStringLiteral("5008"), QStringLiteral("过放保护")},
            {QStringLiteral("F001"), QStringLiteral("充电")},
            {QStringLiteral("F002"), QStringLiteral("放电")},
            {QStringLiteral("F000"), QStringLiteral("待机")},
    }};

    Keys()
    {
        for (int n = 0; n < kCellCount; ++n)
            cells[n] = QStringLiteral("Vcell") + QString::number(n + 1);
        for (int n = 0; n < kProbeCount; ++n)
            probes[n] = QStringLiteral("Temp") + QString::number(n + 1);
    }
};

const Keys &keys()
{
    static const Keys k;
    return k;
}

// The fixed input names found in the value store, gathered in one walk over it.
struct Inputs
{
    std::array<const QVariant *, kCellCount> cells{};
    std::array<const QVariant *, kProbeCount> probes{};
    const QVariant *chgCur = nullptr;
    const QVariant *dsgCur = nullptr;
    const QVariant *remainCap = nullptr;
    const QVariant *fullCap = nullptr;
    const QVariant *soc = nullptr;
    const QVariant *soh = nullptr;
    const QVariant *workState = nullptr;
    const QVariant *balanceState = nullptr;
    const QVariant *protocolVersion = nullptr;
};

// "Vcell1" to "Vcell16" give 1 to 16, anything else 0 ("Vcell01" and "Vcell17" are no cells).
int cellNumber(const QString &key)
{
    const qsizetype n = key.size();
    if (n != 6 && n != 7)
        return 0;
    const QChar *c = key.constData();
    if (c[0] != u'V' || c[1] != u'c' || c[2] != u'e' || c[3] != u'l' || c[4] != u'l')
        return 0;
    const char16_t d1 = key.at(5).unicode();
    if (n == 6)
        return (d1 >= u'1' && d1 <= u'9') ? d1 - u'0' : 0;
    const char16_t d2 = key.at(6).unicode();
    return (d1 == u'1' && d2 >= u'0' && d2 <= u'6') ? 10 + (d2 - u'0') : 0;
}

int probeNumber(const QString &key)
{
    if (key.size() != 5)
        return 0;
    const QChar *c = key.constData();
    if (c[0] != u'T' || c[1] != u'e' || c[2] != u'm' || c[3] != u'p')
        return 0;
    const char16_t d = key.at(4).unicode();
    return (d >= u'1' && d <= u'4') ? d - u'0' : 0;
}

void classify(const QString &key, const QVariant &value, Inputs &in)
{
    if (key.isEmpty())
        return;
    const Keys &k = keys();
    // Dispatch on the first letter so that most store keys cost one comparison at most.
    switch (key.front().unicode()) {
    case u'V':
        if (const int n = cellNumber(key))
            in.cells[n - 1] = &value;
        break;
    case u'T':
        if (const int n = probeNumber(key))
            in.probes[n - 1] = &value;
        break;
    case u'C':
        if (key == k.chgCur)
            in.chgCur = &value;
        break;
    case u'D':
        if (key == k.dsgCur)
            in.dsgCur = &value;
        break;
    case u'r':
        if (key == k.remainCap)
            in.remainCap = &value;
        break;
    case u'f':
        if (key == k.fullCap)
            in.fullCap = &value;
        break;
    case u's':
        if (key == k.soc)
            in.soc = &value;
        else if (key == k.soh)
            in.soh = &value;
        break;
    case u'W':
        if (key == k.workState)
            in.workState = &value;
        break;
    case u'B':
        if (key == k.balanceState)
            in.balanceState = &value;
        break;
    case u'P':
        if (key == k.protocolVersion)
            in.protocolVersion = &value;
        break;
    default:
        break;
    }
}

// The value as a number; 0 when absent or not numeric.
double numberOr0(const QVariant *value)
{
    if (!value)
        return 0.0;
    bool ok = false;
    const double v = value->toDouble(&ok);
    return ok ? v : 0.0;
}

// True when present and numeric; v receives the number.
bool readNumber(const QVariant *value, double &v)
{
    if (!value)
        return false;
    bool ok = false;
    v = value->toDouble(&ok);
    return ok;
}

const QString &stateFromNet(double net)
{
    const Keys &k = keys();
    if (net > 0)
        return k.charging;
    if (net < 0)
        return k.discharging;
    return k.standby;
}

QString workStateCodeText(const QVariant &value)
{
    bool ok = false;
    const qlonglong code = value.toLongLong(&ok);
    if (ok) {
        if (code < 0) // never a table code; keep the sign readable
            return QLatin1Char('-') + QString::number(-code, 16).toUpper().rightJustified(4, u'0');
        return QString::number(code, 16).toUpper().rightJustified(4, u'0');
    }
    return value.toString().toUpper();
}

void addCapacityFigures(const Inputs &in, QVariantHash &out)
{
    const Keys &k = keys();
    if (in.remainCap && in.fullCap) {
        const double r = numberOr0(in.remainCap);
        const double f = numberOr0(in.fullCap);
        if (f > 0)
            out.insert(k.socPercent, QString::number(r / f * 100.0, 'f', 1));
    }
    if (in.soc)
        out.insert(k.soc, *in.soc);
    if (in.soh)
        out.insert(k.soh, *in.soh);
}

void addCellFigures(const Inputs &in, QVariantHash &out)
{
    const Keys &k = keys();
    int count = 0;
    double sum = 0.0;
    double lowest = 999999.0;
    double highest = -999999.0;
    for (const QVariant *cell : in.cells) {
        double v = 0.0;
        if (!readNumber(cell, v) || v < 1000.0 || v > 5000.0)
            continue;
        ++count;
        sum += v;
        if (v < lowest)
            lowest = v;
        if (v > highest)
            highest = v;
    }
    if (count > 0) {
        out.insert(k.maxV, highest);
        out.insert(k.minV, lowest);
        out.insert(k.cellCount, count);
        out.insert(k.number, count);
        out.insert(k.totalV, sum * 0.001);
        out.insert(k.voltageDiff, highest - lowest);
    } else {
        out.insert(k.maxV, 0);
        out.insert(k.minV, 0);
        out.insert(k.cellCount, 0);
        out.insert(k.number, 0);
        out.insert(k.totalV, 0.0);
        out.insert(k.voltageDiff, 0);
    }
}

void addCurrentFigures(double c, double d, QVariantHash &out)
{
    const Keys &k = keys();
    if (c > 0 && d == 0) {
        out.insert(k.currentStatus, k.charging);
        out.insert(k.current, c * 0.001);
    } else if (c == 0 && d > 0) {
        out.insert(k.currentStatus, k.discharging);
        out.insert(k.current, d * 0.001);
    } else if (c == 0 && d == 0) {
        out.insert(k.currentStatus, k.idle);
        out.insert(k.current, 0.0);
    } else {
        out.insert(k.currentStatus, k.abnormal);
        out.insert(k.current, qMax(c, d) * 0.001);
    }
}

void addTemperatureFigures(const Inputs &in, QVariantHash &out)
{
    const Keys &k = keys();
    int count = 0;
    double sum = 0.0;
    double lowest = 0.0;
    double highest = 0.0;
    for (const QVariant *probe : in.probes) {
        double v = 0.0;
        if (!readNumber(probe, v))
            continue;
        // Start from the first probe, not from fixed sentinels: a probe reading beyond
        // ±999 (an unscaled or Kelvin-based segment) must not be hidden by the start value.
        if (count == 0 || v < lowest)
            lowest = v;
        if (count == 0 || v > highest)
            highest = v;
        ++count;
        sum += v;
    }
    if (count > 0) {
        out.insert(k.maxTemp, highest);
        out.insert(k.minTemp, lowest);
        out.insert(k.avgTemp, sum / count);
        out.insert(k.tempDiff, highest - lowest);
    } else {
        out.insert(k.maxTemp, 0.0);
        out.insert(k.minTemp, 0.0);
        out.insert(k.avgTemp, 0.0);
        out.insert(k.tempDiff, 0.0);
    }
}

void addWorkState(const Inputs &in, double net, QVariantHash &out)
{
    const Keys &k = keys();
    if (!in.workState) {
        out.insert(k.workStateValue, stateFromNet(net));
        return;
    }
    const QString code = workStateCodeText(*in.workState);
    const QString *state = nullptr;
    for (const Keys::WorkStateEntry &entry : k.workStates) {
        if (code == entry.code) {
            state = &entry.text;
            break;
        }
    }
    out.insert(k.workStateValue, state ? *state : stateFromNet(net));
    out.insert(k.workState, *in.workState);
}

} // namespace

DataProcessor::DataProcessor(QObject *parent) : QObject(parent) { }

void DataProcessor::setProtocolFrame(ProtocolFrame *frame)
{
    m_protocolFrame = frame;
}

void DataProcessor::setProtocolConfig(ProtocolConfig *config)
{
    m_protocolConfig = config;
}

bool DataProcessor::resolveCommandForFrame(const QString &frameText, QString &commandName)
{
    if (!m_protocolConfig || !m_protocolFrame) {
        qCWarning(lcProcessing) << "resolveCommandForFrame: Config or frame not set. Config:"
                                << !m_protocolConfig.isNull()
                                << "Frame:" << !m_protocolFrame.isNull();
        commandName.clear();
        return false;
    }

    qCDebug(lcProcessing) << "=== Attempting to parse frame ===" << frameText;
    const QStringList names = m_protocolConfig->commandNames();
    qCDebug(lcProcessing) << "Available commands:" << names;

    for (const QString &name : names) {
        if (name.isEmpty())
            continue;
        qCDebug(lcProcessing) << "Trying command:" << name;
        if (m_protocolFrame->parseFrame(frameText, name)) {
            qCDebug(lcProcessing) << "  -> Successfully parsed with command:" << name;
            commandName = name;
            return true;
        }
        qCDebug(lcProcessing) << "  -> Failed to parse with command:" << name;
    }

    qCWarning(lcProcessing) << "Failed to parse frame with any available command";
    commandName.clear();
    return false;
}

const QStringList &DataProcessor::sortedSegmentNames(const QString &commandName) const
{
    const QList<DataSegment> segments = m_protocolConfig->dataSegments(commandName);
    if (commandName == m_cachedCommand && segments.constData() == m_cachedSegments.constData()
        && segments.size() == m_cachedSegments.size())
        return m_cachedSegmentNames;

    m_cachedCommand = commandName;
    m_cachedSegments = segments;
    m_cachedSegmentNames.clear();
    m_cachedSegmentNames.reserve(segments.size());
    for (const DataSegment &segment : segments) {
        if (!segment.name.isEmpty())
            m_cachedSegmentNames.append(segment.name);
    }
    // The store's own order (QMap: operator<), so that one walk can match both.
    std::sort(m_cachedSegmentNames.begin(), m_cachedSegmentNames.end());
    m_cachedSegmentNames.erase(
            std::unique(m_cachedSegmentNames.begin(), m_cachedSegmentNames.end()),
            m_cachedSegmentNames.end());
    return m_cachedSegmentNames;
}

QVariantHash DataProcessor::processFrameValues(const QString &commandName,
                                               const QVariantMap &parsedValues,
                                               const QString &receiveTime) const
{
    const Keys &k = keys();
    static const QStringList noNames;
    const QStringList &names = m_protocolConfig ? sortedSegmentNames(commandName) : noNames;

    QVariantHash values;
    // Segments, version and its field name, up to 26 derived keys, the time stamp.
    values.reserve(names.size() + 32);

    // One ordered walk: copies the command's segments (both sides are sorted) and notes the
    // fixed inputs, instead of a map lookup per name.
    Inputs in;
    qsizetype next = 0;
    const qsizetype nameCount = names.size();
    for (auto it = parsedValues.cbegin(), end = parsedValues.cend(); it != end; ++it) {
        const QString &key = it.key();
        if (next < nameCount) {
            // Equality first: nearly every stored key is a segment of the command.
            if (names.at(next) != key) {
                while (next < nameCount && names.at(next) < key)
                    ++next;
            }
            if (next < nameCount && names.at(next) == key) {
                values.insert(key, it.value());
                ++next;
            }
        }
        classify(key, it.value(), in);
    }

    if (in.protocolVersion) {
        values.insert(k.protocolVersion, *in.protocolVersion);
        values.insert(k.fieldProtocolVersion, *in.protocolVersion);
    }

    const double chg = numberOr0(in.chgCur);
    const double dsg = numberOr0(in.dsgCur);
    addCapacityFigures(in, values);
    addCellFigures(in, values);
    addCurrentFigures(chg, dsg, values);
    addTemperatureFigures(in, values);
    addWorkState(in, chg - dsg, values);
    if (in.balanceState)
        values.insert(k.balanceState, *in.balanceState);

    if (!values.contains(k.timestamp)) {
        values.insert(k.timestamp,
                      receiveTime.isEmpty() ? QDateTime::currentDateTime().toString(
                              QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                            : receiveTime);
    }

    if (lcProcessing().isDebugEnabled()) {
        qCDebug(lcProcessing) << "processFrameValues:" << commandName << "->" << values.size()
                              << "values";
    }
    return values;
}
