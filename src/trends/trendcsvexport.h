#pragma once

#include "datalog/csvwriter.h"

#include <QString>

class QAbstractItemModel;

// The rows of a stretch of time as CSV, in the table's own export format: byte-order mark,
// the header line and the rows first..last, every column, as the table shows them.
class TrendCsvExport
{
public:
    static CsvWriteResult write(const QAbstractItemModel *model, int first, int last,
                                const QString &filePath);
};
