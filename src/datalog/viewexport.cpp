#include "datalog/viewexport.h"

#include <QTableView>

QList<int> visibleColumns(const QTableView *tableView)
{
    QList<int> columns;
    const QAbstractItemModel *model = tableView ? tableView->model() : nullptr;
    if (!model)
        return columns;
    const int count = model->columnCount();
    for (int c = 0; c < count; ++c) {
        if (!tableView->isColumnHidden(c))
            columns.append(c);
    }
    return columns;
}

CsvWriteResult viewExportToCSV(QTableView *tableView, const QString &filePath)
{
    if (!tableView) {
        CsvWriteResult result;
        result.ok = false;
        result.error = QStringLiteral("No table view to export");
        return result;
    }
    return CsvWriter::exportToFile(tableView->model(), visibleColumns(tableView), filePath);
}

CsvWriteResult viewAppendRowsToCSV(QTableView *tableView, const QString &filePath, int first,
                                   int last)
{
    if (!tableView)
        return {};
    return CsvWriter::appendRows(tableView->model(), visibleColumns(tableView), first, last,
                                 filePath);
}
