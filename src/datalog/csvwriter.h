#pragma once

#include "i18n/localizedtext.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QAbstractItemModel;

// Outcome of a CSV write; error holds the file's error text when ok is false.
struct CsvWriteResult
{
    bool ok = true;
    QString error;
    // The error for the user, where this program words it; empty: error, as the system put it.
    LocalizedText reason = {};

    explicit operator bool() const { return ok; }
    LocalizedText errorText() const
    {
        return reason.isEmpty() ? LocalizedText::verbatim(error) : reason;
    }
};

// Writes an item model as CSV: UTF-8, LF line ends, every field quoted with inner quotes
// doubled, the display-role texts of the given columns (model order, hidden ones left out by the
// caller).
class CsvWriter
{
public:
    // Truncates the file and writes the byte-order mark, the header line and every row. Without
    // a model the file holds only the byte-order mark.
    static CsvWriteResult exportToFile(const QAbstractItemModel *model, const QList<int> &columns,
                                       const QString &filePath);

    // Appends rows first..last (no header, no byte-order mark) with one write, so a failure never
    // leaves part of these lines in front of lines appended later; a short write is cut back off.
    static CsvWriteResult appendRows(const QAbstractItemModel *model, const QList<int> &columns,
                                     int first, int last, const QString &filePath);

    // Every column of the model, in order.
    static QList<int> allColumns(const QAbstractItemModel *model);

    static QString quoteField(const QString &text);
    static QByteArray headerLine(const QAbstractItemModel *model, const QList<int> &columns);
    static QByteArray rowLine(const QAbstractItemModel *model, const QList<int> &columns, int row);
};
