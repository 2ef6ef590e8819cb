#pragma once

#include "i18n/translations.h"

#include <QString>
#include <QStringList>

// What cellscribe-record runs with, read from its command line.
struct RecorderOptions
{
    enum ExitCode {
        ExitOk = 0,
        ExitBadInput = 1, // bad arguments, a protocol that does not load, a CSV that cannot be used
        ExitPortNotOpened = 2, // the port did not open at start (with --no-reconnect)
        ExitPortLost = 3, // the port was lost (with --no-reconnect)
    };
    enum class Outcome { Run, Help, Version, Error };

    QString port;
    QString protocol; // a file, or a protocol name from the application's protocols/ directory
    QString command; // empty: the protocol's active command
    int baudRate = 9600;
    int intervalMs = 1000;
    QString csvPath;
    int language = Chinese;
    qint64 durationMs = 0; // 0: no limit
    qint64 frames = 0; // 0: no limit
    bool reconnect = true;
    bool quiet = false;

    // Reads the arguments (the program name first). Help and Error leave their text in *text,
    // worded in the language asked for (the error without a trailing newline).
    static Outcome parse(const QStringList &arguments, RecorderOptions *options, QString *text);

    // The window's interval texts ("200 ms", "1 s", "2 min") or a number of milliseconds; -1 when
    // the text is neither or lies outside 100 ms to one hour.
    static qint64 parseInterval(const QString &text);
    static constexpr qint64 minIntervalMs = 100;
    static constexpr qint64 maxIntervalMs = 3600000;
};
