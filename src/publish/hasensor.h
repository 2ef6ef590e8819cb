#pragma once

#include <QString>

// One value announced to Home Assistant as a sensor.
struct HaSensor
{
    QString key; // the key under "values" in the state message
    QString name; // shown in Home Assistant, in the chosen language
    QString unit; // empty for counts and texts
    QString deviceClass; // voltage, current, temperature, battery or empty
    QString stateClass; // "measurement" for numbers with a unit, else empty
};
