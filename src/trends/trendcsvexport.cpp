#include "trends/trendcsvexport.h"

#include "trends/trendslog.h"

#include <QAbstractItemModel>
#include <QFile>

namespace {

// Rows are written in blocks: a whole day at 200 ms is 432,000 rows.
constexpr int kBlockRows = 20000;

} // namespace

CsvWriteResult TrendCsvExport::write(const QAbstractItemModel *model, int first, int last,
                                     const QString &filePath)
{
    CsvWriteResult result;
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result.ok = false;
        result.error = file.errorString();
        return result;
    }
    const QList<int> columns = CsvWriter::allColumns(model);
    QByteArray head("\xEF\xBB\xBF");
    if (model)
        head += CsvWriter::headerLine(model, columns);
    if (file.write(head) != head.size() || !file.flush()) {
        result.ok = false;
        result.error = file.errorString();
        return result;
    }
    file.close();
    if (!model)
        return result;
    first = qMax(0, first);
    last = qMin(last, model->rowCount() - 1);
    for (int from = first; from <= last; from += kBlockRows) {
        const int to = qMin(last, from + kBlockRows - 1);
        result = CsvWriter::appendRows(model, columns, from, to, filePath);
        if (!result.ok)
            return result;
    }
    qCDebug(lcTrends) << "Exported rows" << first << "to" << last << "to" << filePath;
    return result;
}
