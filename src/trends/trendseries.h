#pragma once

#include <QString>

// The picker's groups, in the order it shows them.
enum class TrendGroup { Cells, Pack, Temperatures, State };

// Figures computed from other columns of a row when the table has no column of their own.
enum class TrendDerived {
    None,
    Total, // sum of the counted cells, V
    Highest, // mV
    Lowest, // mV
    Spread, // highest - lowest, mV
    Mean, // mean of the counted cells, mV
    Current, // charge - discharge current, A (positive while charging)
    HighestTemp,
    LowestTemp,
    MeanTemp,
    Soc, // remaining / full capacity, %
};

// One curve of the trend view: a numeric table column or a derived figure.
struct TrendSeries
{
    QString key; // the value's key in the table (its data field), or the derived figure's key
    QString name; // untranslated display name
    QString unit;
    TrendGroup group = TrendGroup::State;
    int column = -1; // table column, -1 for a derived figure
    TrendDerived derived = TrendDerived::None;
    int cell = 0; // cell number (from 1) of a cell voltage, else 0
};
