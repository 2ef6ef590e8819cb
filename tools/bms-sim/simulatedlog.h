#pragma once

#include <QDateTime>
#include <QString>

class ProtocolConfig;
class RDModel;

// A stretch of logging without waiting for it: the simulator's pack answers a command `rows`
// times, `stepMs` of simulated time apart from `start`, and every answer goes through the
// decoding of a received frame into a row of the table, stamped with its simulated time.
class SimulatedLog
{
public:
    // Returns the number of rows appended (0 when the command is unknown).
    static int fill(RDModel &table, ProtocolConfig &config, const QString &commandName,
                    const QDateTime &start, int rows, qint64 stepMs, quint32 seed = 1);
};
