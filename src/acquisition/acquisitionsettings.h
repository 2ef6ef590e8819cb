#pragma once

#include <QString>

// What one pack's acquisition runs with.
struct AcquisitionSettings
{
    QString port; // system name (COM3, ttyUSB0) or a path (a pseudo-terminal, a link)
    int baudRate = 9600;
    int intervalMs = 1000;
    QString command; // empty: the protocol's active command
    // A lost port is opened again (under its old or a new name) and polling resumes.
    bool reconnect = false;
};
