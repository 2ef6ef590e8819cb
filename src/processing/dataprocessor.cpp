#include "processing/dataprocessor.h"

#include "processing/processinglog.h"
#include "protocol/datasegment.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"

#include <QDateTime>
#include <QStringList>

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

// The stored value as a number; 0 when absent or not numeric.
double numberOr0(const QVariantMap &store, const QString &key)
{
    const auto it = store.constFind(key);
    if (it == store.constEnd())
        return 0.0;
    bool ok = false;
    const double v = it->toDouble(&ok);
    return ok ? v : 0.0;
}

// True when present and numeric; v receives the number.
bool readNumber(const QVariantMap &store, const QString &key, double &v)
{
    const auto it = store.constFind(key);
    if (it == store.constEnd())
        return false;
    bool ok = false;
    v = it->toDouble(&ok);
    return ok;
}

void copyIfPresent(const QVariantMap &store, const QString &key, QVariantHash &out)
{
    const auto it = store.constFind(key);
    if (it != store.constEnd())
        out.insert(key, *it);
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

void addCapacityFigures(const QVariantMap &store, QVariantHash &out)
{
    const Keys &k = keys();
    if (store.contains(k.remainCap) && store.contains(k.fullCap)) {
        const double r = numberOr0(store, k.remainCap);
        const double f = numberOr0(store, k.fullCap);
        if (f > 0)
            out.insert(k.socPercent, QString::number(r / f * 100.0, 'f', 1));
    }
    copyIfPresent(store, k.soc, out);
    copyIfPresent(store, k.soh, out);
}

void addCellFigures(const QVariantMap &store, QVariantHash &out)
{
    const Keys &k = keys();
    int count = 0;
    double sum = 0.0;
    double lowest = 999999.0;
    double highest = -999999.0;
    for (const QString &name : k.cells) {
        double v = 0.0;
        if (!readNumber(store, name, v) || v < 1000.0 || v > 5000.0)
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

void addCurrentFigures(const QVariantMap &store, QVariantHash &out)
{
    const Keys &k = keys();
    const double c = numberOr0(store, k.chgCur);
    const double d = numberOr0(store, k.dsgCur);
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

void addTemperatureFigures(const QVariantMap &store, QVariantHash &out)
{
    const Keys &k = keys();
    int count = 0;
    double sum = 0.0;
    double lowest = 0.0;
    double highest = 0.0;
    for (const QString &name : k.probes) {
        double v = 0.0;
        if (!readNumber(store, name, v))
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

void addWorkState(const QVariantMap &store, QVariantHash &out)
{
    const Keys &k = keys();
    const double net = numberOr0(store, k.chgCur) - numberOr0(store, k.dsgCur);
    const auto it = store.constFind(k.workState);
    if (it == store.constEnd()) {
        out.insert(k.workStateValue, stateFromNet(net));
        return;
    }
    const QString code = workStateCodeText(*it);
    const QString *state = nullptr;
    for (const Keys::WorkStateEntry &entry : k.workStates) {
        if (code == entry.code) {
            state = &entry.text;
            break;
        }
    }
    out.insert(k.workStateValue, state ? *state : stateFromNet(net));
    out.insert(k.workState, *it);
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

QVariantHash DataProcessor::processFrameValues(const QString &commandName,
                                               const QVariantMap &parsedValues,
                                               const QString &receiveTime) const
{
    const Keys &k = keys();
    QVariantHash values;

    QList<DataSegment> segments;
    if (m_protocolConfig)
        segments = m_protocolConfig->dataSegments(commandName);
    // Segments, version and its field name, up to 26 derived keys, the time stamp.
    values.reserve(segments.size() + 32);

    for (const DataSegment &segment : std::as_const(segments)) {
        if (!segment.name.isEmpty())
            copyIfPresent(parsedValues, segment.name, values);
    }

    const auto version = parsedValues.constFind(k.protocolVersion);
    if (version != parsedValues.constEnd()) {
        values.insert(k.protocolVersion, *version);
        values.insert(k.fieldProtocolVersion, *version);
    }

    addCapacityFigures(parsedValues, values);
    addCellFigures(parsedValues, values);
    addCurrentFigures(parsedValues, values);
    addTemperatureFigures(parsedValues, values);
    addWorkState(parsedValues, values);
    copyIfPresent(parsedValues, k.balanceState, values);

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
