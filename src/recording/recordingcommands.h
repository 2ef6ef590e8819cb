#pragma once

#include "i18n/translations.h"

#include <QJsonObject>
#include <QString>

class QTextStream;

// The recording commands of cellscribe-protocol. Each returns the exit code: 0, or 1 with the
// reason on err and nothing written.
class RecordingCommands
{
public:
    struct ReplayOptions
    {
        QString recording;
        QString protocolFile; // empty: the protocol stored in the recording
        QString csvPath; // empty: only the summary
        int language = Chinese; // of the CSV's headers and texts
    };

    // info FILE.csrec: start, end, duration, port, protocol, frame and event counts as JSON.
    static int info(const QString &path, QTextStream &out, QTextStream &err);
    // replay FILE.csrec: decodes every received frame again and writes the table the window
    // exports, stamped with the recorded receive times; prints a summary as JSON.
    static int replay(const ReplayOptions &options, QTextStream &out, QTextStream &err);
};
