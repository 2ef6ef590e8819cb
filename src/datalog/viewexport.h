#pragma once

#include "datalog/csvwriter.h"

#include <QList>
#include <QString>

class QTableView;

// Columns of the view's model that the view does not hide, in model order.
QList<int> visibleColumns(const QTableView *tableView);

// One-shot CSV export of what the view shows. Without a view nothing is written (an error);
// a view without a model leaves the file holding only the byte-order mark.
CsvWriteResult viewExportToCSV(QTableView *tableView, const QString &filePath);

// Appends rows first..last of the view's model to an exported file, with the columns visible
// now. A view that is gone writes nothing and is not an error.
CsvWriteResult viewAppendRowsToCSV(QTableView *tableView, const QString &filePath, int first,
                                   int last);
