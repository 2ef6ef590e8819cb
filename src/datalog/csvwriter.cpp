#include "datalog/csvwriter.h"

#include "datalog/dataloglog.h"

#include <QAbstractItemModel>
#include <QFile>

namespace {

constexpr qsizetype kFlushSize = 1 << 20;

QString fieldText(const QVariant &value)
{
    // Qt writes reals in their shortest round-trip form, integers in decimal, invalid as "".
    return value.toString();
}

// Columns the model really has; a stale list (a column change since) must not read off the end.
QList<int> validColumns(const QAbstractItemModel *model, const QList<int> &columns)
{
    QList<int> valid;
    valid.reserve(columns.size());
    const int count = model->columnCount();
    for (int c : columns) {
        if (c >= 0 && c < count)
            valid.append(c);
    }
    return valid;
}

void appendLine(QByteArray &out, const QString &line)
{
    out += line.toUtf8();
    out += '\n';
}

bool writeAll(QFile &file, const QByteArray &data)
{
    return data.isEmpty() || file.write(data) == data.size();
}

CsvWriteResult failure(const QFile &file, const char *what)
{
    CsvWriteResult result;
    result.ok = false;
    // A short write leaves no error on the device: say what happened instead of "Unknown error".
    result.error = file.error() == QFileDevice::NoError
            ? QStringLiteral("Incomplete write (disk full or file size limit reached)")
            : file.errorString();
    qCWarning(lcDatalog) << what << file.fileName() << "failed:" << result.error;
    return result;
}

} // namespace

QList<int> CsvWriter::allColumns(const QAbstractItemModel *model)
{
    QList<int> columns;
    const int count = model ? model->columnCount() : 0;
    columns.reserve(count);
    for (int c = 0; c < count; ++c)
        columns.append(c);
    return columns;
}

QString CsvWriter::quoteField(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (QChar ch : text) {
        if (ch == u'"')
            quoted += u'"';
        quoted += ch;
    }
    quoted += u'"';
    return quoted;
}

QByteArray CsvWriter::headerLine(const QAbstractItemModel *model, const QList<int> &columns)
{
    QString line;
    bool first = true;
    for (int c : validColumns(model, columns)) {
        if (!first)
            line += u',';
        first = false;
        line += quoteField(fieldText(model->headerData(c, Qt::Horizontal, Qt::DisplayRole)));
    }
    QByteArray out;
    appendLine(out, line);
    return out;
}

QByteArray CsvWriter::rowLine(const QAbstractItemModel *model, const QList<int> &columns, int row)
{
    QString line;
    bool first = true;
    for (int c : validColumns(model, columns)) {
        if (!first)
            line += u',';
        first = false;
        line += quoteField(fieldText(model->data(model->index(row, c), Qt::DisplayRole)));
    }
    QByteArray out;
    appendLine(out, line);
    return out;
}

CsvWriteResult CsvWriter::exportToFile(const QAbstractItemModel *model, const QList<int> &columns,
                                       const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return failure(file, "Opening CSV export");

    QByteArray out("\xEF\xBB\xBF");
    if (model) {
        const QList<int> cols = validColumns(model, columns);
        out += headerLine(model, cols);
        const int rows = model->rowCount();
        QString line;
        for (int r = 0; r < rows; ++r) {
            line.resize(0);
            for (qsizetype i = 0; i < cols.size(); ++i) {
                if (i)
                    line += u',';
                line += quoteField(fieldText(model->data(model->index(r, cols[i]))));
            }
            appendLine(out, line);
            if (out.size() >= kFlushSize) {
                if (!writeAll(file, out))
                    return failure(file, "Writing CSV export");
                out.resize(0);
            }
        }
    }
    if (!writeAll(file, out))
        return failure(file, "Writing CSV export");
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failure(file, "Closing CSV export");
    qCDebug(lcDatalog) << "Exported CSV" << filePath;
    return {};
}

CsvWriteResult CsvWriter::appendRows(const QAbstractItemModel *model, const QList<int> &columns,
                                     int first, int last, const QString &filePath)
{
    if (!model)
        return {};
    const QList<int> cols = validColumns(model, columns);
    first = qMax(first, 0);
    last = qMin(last, model->rowCount() - 1);
    QByteArray out;
    for (int r = first; r <= last; ++r)
        out += rowLine(model, cols, r);

    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return failure(file, "Opening CSV for appending");
    const bool seekable = !file.isSequential();
    const qint64 sizeBefore = seekable ? file.size() : 0;
    const qint64 written = out.isEmpty() ? 0 : file.write(out);
    if (written != out.size()) {
        CsvWriteResult result = failure(file, "Appending to CSV");
        // Cut a partial line back off, or the next append would complete it into garbage.
        if (seekable && file.size() != sizeBefore && !file.resize(sizeBefore))
            qCWarning(lcDatalog) << "Could not cut back a partial line in" << filePath;
        return result;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failure(file, "Closing CSV");
    return {};
}
