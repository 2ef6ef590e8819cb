#include "batterymodel.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// Phases of the current, in answers: charge, pause, discharge, pause.
constexpr int chargeSteps = 12;
constexpr int pauseSteps = 3;
constexpr int cycleSteps = 2 * (chargeSteps + pauseSteps);
// Simulated seconds per answer, so that capacity visibly follows the current.
constexpr double secondsPerStep = 60.0;
// Amperes: charging slightly outweighs discharging, so the pack wanders between its limits.
constexpr double chargeCurrent = 15.0;
constexpr double dischargeCurrent = 14.0;
// State of charge (%) above which the charger stops, below which the load is cut.
constexpr double fullSoc = 98.0;
constexpr double emptySoc = 5.0;
// Balancing: near the top of a charge, cells this far (V) above the mean are bled.
constexpr double balanceSoc = 80.0;
constexpr double balanceSpread = 0.004;
// The pack's identity, as its version command reports it.
constexpr double hardwareVersion = 3;
constexpr double softwareVersion = 105; // 1.05
constexpr double serialNumber = 20240517;
constexpr double capacityLearned = 100; // %

bool isMilli(const QString &unit)
{
    return unit.size() > 1 && unit.at(0) == u'm' && unit.at(1).isUpper();
}

quint64 stableRaw(const QString &name, quint64 max)
{
    quint32 h = 2166136261u; // FNV-1a
    for (QChar c : name) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return h % (qMin<quint64>(max, 999) + 1);
}

} // namespace

BatteryModel::BatteryModel(quint32 seed, int cells) : m_rng(seed)
{
    cells = qBound(1, cells, maxCells);
    m_cellBias.resize(cells);
    m_cells.resize(cells);
    m_weakCell = int(m_rng.bounded(cells));
    for (double &bias : m_cellBias)
        bias = m_rng.bounded(10.0) - 5.0; // mV
    for (int i = 0; i < temperatureCount; ++i)
        m_temps[size_t(i)] = 24.0 + 2.0 * i;
    advance();
}

int BatteryModel::seriesCount(const QList<DataSegment> &segments)
{
    static const QRegularExpression cell(QStringLiteral("^Vcell(\\d+)$"));
    int count = 0;
    for (const DataSegment &segment : segments) {
        if (const auto m = cell.match(segment.name); m.hasMatch())
            count = qMax(count, m.captured(1).toInt());
    }
    return count;
}

void BatteryModel::advance()
{
    const int phase = m_step % cycleSteps;
    ++m_step;

    double current = 0.0;
    if (phase < chargeSteps) {
        if (stateOfCharge() < fullSoc)
            current = chargeCurrent + m_rng.bounded(2.0) - 1.0;
    } else if (phase >= chargeSteps + pauseSteps && phase < 2 * chargeSteps + pauseSteps) {
        if (stateOfCharge() > emptySoc)
            current = -(dischargeCurrent + m_rng.bounded(3.0) - 1.5);
    }
    m_current = current;

    const double charge = current * secondsPerStep / 3600.0; // Ah
    m_remain = qBound(0.0, m_remain + charge, m_full);
    if (charge > 0)
        m_cycles += charge / m_full;

    const double load = current > 0 ? 0.025 : current < 0 ? -0.030 : 0.0; // V
    const double socShift = (stateOfCharge() - 50.0) * 0.001; // V
    double sum = 0.0;
    for (int i = 0; i < m_cells.size(); ++i) {
        const double noise = (m_rng.bounded(6.0) - 3.0) / 1000.0;
        double v = 3.300 + socShift + load + m_cellBias.at(i) / 1000.0 + noise;
        if (i == m_weakCell)
            v -= 0.080;
        m_cells[i] = v;
        sum += v;
    }
    m_balancing = 0;
    if (current > 0 && stateOfCharge() >= balanceSoc) {
        const double mean = sum / m_cells.size();
        for (int i = 0; i < qMin<int>(m_cells.size(), 32); ++i) {
            if (m_cells.at(i) > mean + balanceSpread)
                m_balancing |= quint32(1) << i;
        }
    }

    for (int i = 0; i < temperatureCount; ++i) {
        double &t = m_temps[size_t(i)];
        t += m_rng.bounded(0.8) - 0.4 + (current != 0.0 ? 0.05 : -0.05);
        if (t < 20.0)
            t = 40.0 - t;
        if (t > 35.0)
            t = 70.0 - t;
        t = qBound(20.0, t, 35.0);
    }

    if (m_rng.bounded(40) == 0) {
        static const quint16 chargeFaults[] = {0xA010, 0xA100, 0xA004};
        static const quint16 dischargeFaults[] = {0x5080, 0x5400, 0x5008};
        m_workState =
                current >= 0 ? chargeFaults[m_rng.bounded(3)] : dischargeFaults[m_rng.bounded(3)];
    } else {
        m_workState = current > 0 ? 0xF001 : current < 0 ? 0xF002 : 0xF000;
    }
}

double BatteryModel::remainingMinutes() const
{
    if (m_current > 0)
        return 60.0 * (m_full - m_remain) / m_current;
    const double draw = m_current < 0 ? -m_current : dischargeCurrent;
    return 60.0 * m_remain / draw;
}

double BatteryModel::physicalValue(const QString &name, const QString &unit, bool *known) const
{
    *known = true;
    const bool milli = isMilli(unit);
    static const QRegularExpression cell(QStringLiteral("^Vcell(\\d+)$"));
    static const QRegularExpression temp(QStringLiteral("^Temp(\\d+)$"));
    if (const auto m = cell.match(name); m.hasMatch()) {
        const int i = m.captured(1).toInt() - 1;
        if (i >= 0 && i < m_cells.size()) {
            // Cell voltages are in millivolts unless the unit says volts.
            const bool volts = unit.compare(QLatin1String("V"), Qt::CaseInsensitive) == 0;
            return volts ? m_cells.at(i) : m_cells.at(i) * 1000.0;
        }
    }
    if (const auto m = temp.match(name); m.hasMatch()) {
        const int i = m.captured(1).toInt() - 1;
        if (i >= 0 && i < temperatureCount)
            return m_temps[size_t(i)];
    }
    const double scale = milli ? 1000.0 : 1.0;
    if (name == QLatin1String("ChgCur"))
        return qMax(0.0, m_current) * scale;
    if (name == QLatin1String("DsgCur"))
        return qMax(0.0, -m_current) * scale;
    if (name == QLatin1String("remain_cap"))
        return m_remain * scale;
    if (name == QLatin1String("full_cap"))
        return m_full * scale;
    if (name == QLatin1String("design_cap"))
        return m_design * scale;
    if (name == QLatin1String("soc"))
        return stateOfCharge();
    if (name == QLatin1String("soh"))
        return stateOfHealth();
    if (name == QLatin1String("cycle_count"))
        return cycleCount();
    if (name == QLatin1String("time_left"))
        return remainingMinutes();
    if (name == QLatin1String("learn_status"))
        return capacityLearned;
    if (name == QLatin1String("hw_version"))
        return hardwareVersion;
    if (name == QLatin1String("sw_version"))
        return softwareVersion;
    if (name == QLatin1String("serial_number"))
        return serialNumber;
    if (name == QLatin1String("cell_series"))
        return cells();
    *known = false;
    return 0.0;
}

quint64 BatteryModel::rawValue(const DataSegment &segment) const
{
    const quint64 max = maxRaw(segment);
    // Codes are sent as they are, whatever the scale.
    if (segment.name == QLatin1String("WorkState"))
        return qMin<quint64>(m_workState, max);
    if (segment.name == QLatin1String("BlanceState"))
        return qMin<quint64>(m_balancing, max);
    bool known = false;
    const double value = physicalValue(segment.name, segment.unit, &known);
    if (!known)
        return stableRaw(segment.name, max);
    return encodeValue(value, segment);
}

quint64 BatteryModel::maxRaw(const DataSegment &segment)
{
    if (segment.length <= 0)
        return 0;
    if (segment.length >= 16)
        return ~quint64(0);
    return (quint64(1) << (4 * segment.length)) - 1;
}

quint64 BatteryModel::encodeValue(double value, const DataSegment &segment)
{
    if (segment.scale == 0.0 || !std::isfinite(value))
        return 0;
    const double raw = std::round((value - segment.offset) / segment.scale);
    if (!(raw > 0.0))
        return 0;
    const quint64 max = maxRaw(segment);
    if (raw >= double(max))
        return max;
    return quint64(raw);
}
