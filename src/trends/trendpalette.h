#pragma once

#include "trends/trendseries.h"

#include <QColor>
#include <QIcon>

// Colours of the curves, fixed by what a curve is (cell n, pack current, probe n, ...), so a
// curve keeps its colour whatever else is shown and from one session to the next.
class TrendPalette
{
public:
    static QColor color(const TrendSeries &series);
    // A small swatch of the colour for lists.
    static QIcon swatch(const QColor &color);
};
