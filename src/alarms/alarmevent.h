#pragma once

#include "alarms/alarmrule.h"

#include <QMetaType>
#include <QString>

#include <limits>

// An alarm raised or cleared. Carries data, not sentences: the message is composed when it is
// shown, in the language of that moment.
struct AlarmEvent
{
    enum class Kind { Raised, Cleared };
    enum class Side { High, Low };

    Kind kind = Kind::Raised;
    qint64 timeMs = 0; // the frame's time, UTC milliseconds since the epoch
    QString rule; // the rule's name
    QString key; // the value the alarm is on (VcellN for a cell)
    int cell = 0; // the cell's number, or 0
    // The value that raised or cleared it; NaN when the alarm was cleared because its rule changed.
    double value = std::numeric_limits<double>::quiet_NaN();
    double limit = 0.0; // the limit passed
    Side side = Side::High;
    AlarmRule::Severity severity = AlarmRule::Severity::Warning;
    QString text; // the rule's own text, if any
    QString label; // Chinese caption of the value ("电芯12", "最高温度")
    QString unit;

    // "alarm-raised" / "alarm-cleared": the kind names files and other programs use.
    static QString kindName(Kind kind);
    QString kindName() const { return kindName(kind); }

    // "电芯12 过压", "Cell 12 overvoltage", "Zelle 12 Überspannung"; "SOC 过低"; or the rule's
    // text, after the cell's name for a cell.
    QString message(int language) const;
    // The severity and the kind as words of the language.
    static QString severityText(AlarmRule::Severity severity, int language);
    QString kindText(int language) const;
    // A number with the unit: "3700 mV".
    QString valueText() const;
    QString limitText() const;
    // Identifies the alarm among the active ones: the rule's name, with the cell for a cell
    // ("cell_high(12)"). Also the alarm's short name in the table.
    QString shortName() const;
    // One line of JSON for files: kind, rule, key, cell, value, limit, side, severity and the
    // message in Chinese (the stored language).
    QString toJson() const;
};

Q_DECLARE_METATYPE(AlarmEvent)
