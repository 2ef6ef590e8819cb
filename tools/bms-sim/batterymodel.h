#pragma once

#include "protocol/datasegment.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <array>

// A battery pack whose readings move plausibly from one answer to the next: cells near 3.3 V
// with one weaker cell, a current that alternates between charge and discharge with short pauses
// (no charge when full, no discharge when nearly empty), temperatures drifting between 20 and
// 35 °C, capacities, state of charge, remaining time and cycle count following the current,
// cells balanced near the top of a charge, and a work state that follows the current with an
// occasional protection code. Every segment of the sample protocols gets such a value.
class BatteryModel
{
public:
    static constexpr int cellCount = 16; // unless the constructor is told otherwise
    static constexpr int maxCells = 256;
    static constexpr int temperatureCount = 4;

    // A pack of the given number of cells in series (1 to maxCells).
    explicit BatteryModel(quint32 seed = 1, int cells = cellCount);

    // Cells in series that a command's segments read: the highest n of the "Vcell<n>" names.
    static int seriesCount(const QList<DataSegment> &segments);

    // One step of simulated time; called once per answer.
    void advance();

    // The raw number to send for a segment of the given name, already clamped to its width.
    quint64 rawValue(const DataSegment &segment) const;

    // Physical state, in V, A (positive: charging), °C, Ah, % and minutes.
    int cells() const { return int(m_cells.size()); }
    double cellVoltage(int index) const { return m_cells.at(index); }
    double current() const { return m_current; }
    double temperature(int index) const { return m_temps[size_t(index)]; }
    double remainingCapacity() const { return m_remain; }
    double fullCapacity() const { return m_full; }
    double designCapacity() const { return m_design; }
    double stateOfCharge() const { return m_full > 0 ? 100.0 * m_remain / m_full : 0.0; }
    double stateOfHealth() const { return 100.0 * m_full / m_design; }
    // Until full while charging, until empty otherwise (at rest: at the usual discharge current).
    double remainingMinutes() const;
    // Full charges so far: the charge throughput in full capacities, on top of the pack's past.
    int cycleCount() const { return int(m_cycles); }
    // Bit n set: cell n+1 is being balanced.
    quint32 balancingCells() const { return m_balancing; }
    quint16 workState() const { return m_workState; }
    int weakCell() const { return m_weakCell; }

    // raw = round((value - offset) / scale), clamped to what `length` hex digits hold; 0 when
    // the segment has no scale.
    static quint64 encodeValue(double value, const DataSegment &segment);
    static quint64 maxRaw(const DataSegment &segment);

private:
    double physicalValue(const QString &name, const QString &unit, bool *known) const;

    QRandomGenerator m_rng;
    int m_step = 0;
    int m_weakCell = 0;
    QList<double> m_cellBias;
    QList<double> m_cells;
    std::array<double, temperatureCount> m_temps{};
    double m_current = 0.0;
    double m_remain = 50.0;
    double m_full = 100.0;
    double m_design = 102.0;
    double m_cycles = 137.0;
    quint32 m_balancing = 0;
    quint16 m_workState = 0xF000;
};
