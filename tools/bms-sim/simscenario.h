#pragma once

#include "protocol/datasegment.h"

#include <QList>
#include <QString>

// Scripted excursions of the simulated pack, so that alarms can be tried: for a run of answers a
// reading is forced to a value (or moved by an amount), then the pack is normal again.
struct SimScenario
{
    struct Excursion
    {
        QString segment; // "Vcell12", "Temp2"
        bool shift = false; // move the modelled reading instead of replacing it
        double value = 0.0; // mV for cells, °C for temperatures
        int firstAnswer = 1; // counted from 1 over every answer sent
        int answers = 20;
    };
    QList<Excursion> excursions;

    // Parses "overvoltage-cell=N@K" (cell N reads 3700 mV from the K-th answer on, for 20
    // answers), "undervoltage-cell=N@K" (2500 mV), "overtemp=N@K" (probe N reads 60 °C) and
    // "spread=N@K" (cell N 150 mV below its normal reading); several may be given separated
    // by commas. Returns false with a message for an unknown or malformed item.
    bool parse(const QString &text, QString *error);

    // The raw number to send for a segment in the given answer: the model's, or the excursion's.
    quint64 apply(int answer, const DataSegment &segment, quint64 modelRaw) const;
};
