#pragma once

#include <QString>

// A limit the user (or a protocol file) sets on one value of the value map, or on every cell.
struct AlarmRule
{
    enum class Severity { Warning, Alarm };

    QString name; // unique within a rule list; a user's rule replaces a default of the same name
    QString value; // a value map key, or everyCellValue() for Vcell1..VcellN
    bool hasHigh = false;
    double high = 0.0;
    bool hasLow = false;
    double low = 0.0;
    // An active alarm clears only once the value is back past its limit by this much.
    double hysteresis = 0.0;
    // How long the condition must hold before the alarm raises: seconds of frame time, or a
    // number of further frames (at most one of the two is non-zero).
    double delaySeconds = 0.0;
    int delayFrames = 0;
    Severity severity = Severity::Warning;
    QString text; // optional; replaces the composed condition in messages
    bool enabled = true;

    static QString everyCellValue() { return QStringLiteral("Vcell*"); }
    bool isEveryCell() const { return value == everyCellValue(); }

    // A user's entry with only a name and "enabled": false: switches off the default it names.
    bool isSwitchOff() const { return !enabled && value.isEmpty(); }

    static QString severityName(Severity severity)
    {
        return severity == Severity::Alarm ? QStringLiteral("alarm") : QStringLiteral("warning");
    }

    bool operator==(const AlarmRule &o) const
    {
        return name == o.name && value == o.value && hasHigh == o.hasHigh
                && (!hasHigh || high == o.high) && hasLow == o.hasLow && (!hasLow || low == o.low)
                && hysteresis == o.hysteresis && delaySeconds == o.delaySeconds
                && delayFrames == o.delayFrames && severity == o.severity && text == o.text
                && enabled == o.enabled;
    }
    bool operator!=(const AlarmRule &o) const { return !(*this == o); }
};
