#pragma once

#include <QList>
#include <QString>

// Why a rule (or a whole rules file) was refused. Kept as a kind and a detail so that the
// reason is worded in the language of whoever shows it.
struct AlarmProblem
{
    enum class Kind {
        Unreadable, // the file; detail: the system's error
        NotJson, // the file; detail: the parser's error
        NotAnArray, // the file or the "alarms" key
        NotAnObject, // an element of the array
        MissingName,
        DuplicateName,
        UnknownField, // detail: the member
        WrongType, // detail: the member
        NotANumber, // detail: the member
        MissingValue,
        UnknownValue, // detail: the key; not a segment of the protocol nor a derived value
        TextValue, // detail: the key; a value that is always a text
        NoCells, // an every-cell rule for a protocol without cell values
        NoLimit,
        LowAboveHigh,
        NegativeHysteresis,
        NegativeDelay,
        BothDelays,
        FractionalFrames,
        UnknownSeverity, // detail: the text given
    };

    QString rule; // the rule's name, or "#n" (its position from 1) when it has none
    int index = -1; // the rule's position in its list; -1 for the file
    Kind kind = Kind::NotJson;
    QString detail;
    QString source; // the file the rule came from, where known

    // Concerns the file as a whole rather than one rule.
    bool isFileProblem() const { return index < 0; }

    // The reason alone, and "Rule <name>: <reason>" (the reason alone for a file problem), in
    // the given language.
    QString reason(int language) const;
    QString text(int language) const;
};

using AlarmProblems = QList<AlarmProblem>;
