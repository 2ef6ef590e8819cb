#pragma once

#include <QString>
#include <QStringList>

// Misbehaviours the simulator can be told to show; each is combinable with the others.
struct SimFaults
{
    bool silent = false; // never answers
    double drop = 0.0; // share of answers left out
    double garbage = 0.0; // share of answers preceded by noise
    bool split = false; // answers written in 2-3 pieces a few ms apart
    double badChecksum = 0.0; // share of answers with a wrong checksum
    int delayMs = 0; // time from request to answer
    int hangupAfter = -1; // close the line after this many answers; -1: never

    // Parses faults such as "silent", "drop=0.2", "delay=50"; several may be given separated by
    // commas. Returns false with a message for an unknown or malformed item.
    bool parse(const QString &text, QString *error);
};
