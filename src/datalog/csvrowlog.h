#pragma once

#include "datalog/csvwriter.h"
#include "datalog/rdmodel.h"

#include <QDateTime>
#include <QList>
#include <QString>

class ProtocolConfig;
struct Sample;

// The real-time table as CSV, written one row per decoded frame without keeping the table: the
// same header, byte-order mark, quoting, language and cell texts as the window's export, each
// row stamped with its frame's receive time. For logs that run for days (the recorder) and for
// tables made again from recorded frames.
class CsvRowLog
{
public:
    CsvRowLog();

    // Both before open(): the header depends on them.
    void setProtocolConfig(ProtocolConfig *config);
    void setLanguage(int language);

    // A new or empty file gets the byte-order mark and the header; an existing file is appended
    // to when it begins with the same header, and refused (nothing written) when it does not.
    CsvWriteResult open(const QString &path);
    // Writes the sample's row at once (one write, never half a line).
    CsvWriteResult append(const Sample &sample);

    QString path() const { return m_path; }
    bool isOpen() const { return !m_path.isEmpty(); }
    qint64 rowsWritten() const { return m_rowsWritten; }
    // The byte-order mark and header line a file of this table begins with.
    QByteArray fileHeader() const;

private:
    RDModel m_table;
    QList<int> m_columns;
    QString m_path;
    QDateTime m_rowTime;
    qint64 m_rowsWritten = 0;
};
