#pragma once

#include "protocol/datasegment.h"

#include <QRandomGenerator>
#include <QString>

#include <array>

// A battery pack whose readings move plausibly from one answer to the next: 16 cells near
// 3.3 V with one weaker cell, a current that alternates between charge and discharge with short
// pauses, temperatures drifting between 20 and 35 °C, capacities and state of charge following
// the current, and a work state that follows it with an occasional protection code.
class BatteryModel
{
public:
    static constexpr int cellCount = 16;
    static constexpr int temperatureCount = 4;

    explicit BatteryModel(quint32 seed = 1);

    // One step of simulated time; called once per answer.
    void advance();

    // The raw number to send for a segment of the given name, already clamped to its width.
    quint64 rawValue(const DataSegment &segment) const;

    // Physical state, in V, A (positive: charging), °C, Ah and %.
    double cellVoltage(int index) const { return m_cells[size_t(index)]; }
    double current() const { return m_current; }
    double temperature(int index) const { return m_temps[size_t(index)]; }
    double remainingCapacity() const { return m_remain; }
    double fullCapacity() const { return m_full; }
    double stateOfCharge() const { return m_full > 0 ? 100.0 * m_remain / m_full : 0.0; }
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
    std::array<double, cellCount> m_cellBias{};
    std::array<double, cellCount> m_cells{};
    std::array<double, temperatureCount> m_temps{};
    double m_current = 0.0;
    double m_remain = 50.0;
    double m_full = 100.0;
    quint16 m_workState = 0xF000;
};
