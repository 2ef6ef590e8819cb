#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class AcquisitionEngine;

// What a recording says about its run: the meta table as values.
struct RecordingMeta
{
    int formatVersion = 0; // as read; written as RecordingFormat::version
    QString appName;
    QString appVersion;
    qint64 startedMs = 0; // UTC milliseconds since the epoch
    qint64 endedMs = -1; // -1: the run did not end cleanly (or is still going on)
    QString port;
    int baudRate = 0;
    int intervalMs = 0;
    QString command;
    QString protocolName;
    QString protocolFile;
    QByteArray protocolJson; // the protocol file's complete text as loaded
    QString timeZone; // IANA id of the recording machine's zone, for local times in a replay

    // The run an engine has just started, with its protocol.
    static RecordingMeta ofEngine(const AcquisitionEngine *engine, qint64 startedMs);

    // Key and value rows of the meta table, in a fixed order (ended_* only when set).
    QList<QPair<QString, QString>> rows() const;
    // Reads rows back; keys it does not know are ignored.
    static RecordingMeta fromRows(const QList<QPair<QString, QString>> &rows);
};
