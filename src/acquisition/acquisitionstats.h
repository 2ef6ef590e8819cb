#pragma once

#include <QtGlobal>

// Link counters of one run, from its start.
struct AcquisitionStats
{
    qint64 requestsSent = 0; // requests written to the port
    qint64 framesReceived = 0; // frames that answered a command (one table row each)
    qint64 framesUnmatched = 0; // frames cut from the stream that answered no command
    qint64 timeouts = 0;
    qint64 checksumErrors = 0;
    qint64 serialErrors = 0;
    qint64 busBusy = 0;
    qint64 portLosses = 0;
    qint64 reconnects = 0;
};
