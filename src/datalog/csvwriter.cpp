#include "datalog/csvwriter.h"

#include "datalog/dataloglog.h"
#include "datalog/rdmodel.h"

#include <QAbstractItemModel>
#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

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

// Output written through a pointer: appending to a byte array piece by piece costs more than
// the texts of the cells themselves.
class Sink
{
public:
    explicit Sink(QByteArray &out) : m_out(out), m_used(out.size()) { }

    char *reserve(qsizetype n)
    {
        if (m_out.size() - m_used < n)
            m_out.resize(qMax(2 * m_out.size(), m_used + n + 4096));
        return m_out.data() + m_used;
    }
    void advance(qsizetype n) { m_used += n; }
    void put(char c)
    {
        *reserve(1) = c;
        ++m_used;
    }
    qsizetype size() const { return m_used; }
    // Ends the writing: the array holds exactly what was written.
    QByteArray &finish()
    {
        m_out.resize(m_used);
        return m_out;
    }
    void clear()
    {
        m_out.resize(0);
        m_used = 0;
    }

private:
    QByteArray &m_out;
    qsizetype m_used;
};

void putQuoted(Sink &sink, const char *text, qsizetype n)
{
    char *const start = sink.reserve(2 * n + 2);
    char *p = start;
    *p++ = '"';
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == '"')
            *p++ = '"';
        *p++ = text[i];
    }
    *p++ = '"';
    sink.advance(p - start);
}

// Texts of a row's first cells, made in one walk; made once per export, not once per row.
constexpr int kMaxFastCells = 64;
using RowTexts = std::array<CellStore::CellText, kMaxFastCells>;

// One line of display texts. A real-time table model hands most texts over without a variant;
// the rest (and any other model) go through the display role. Columns in ascending order (what
// a view shows) are written by the store straight into the output.
void putRow(Sink &sink, const QAbstractItemModel *model, const RDModel *table,
            const QList<int> &columns, bool ascending, int row, RowTexts &texts)
{
    static const CellStore::CellText kEmpty{CellStore::TextKind::Empty, 0, {}, {}};
    constexpr qsizetype kNumberRoom = CellStore::kMaxNumberText + 3;
    const bool translates = table && table->translatesTexts();
    const qsizetype count = columns.size();
    if (table && ascending) {
        char *start = sink.reserve(count * kNumberRoom + 1);
        char *p = start;
        int i = 0;
        while (true) {
            CellStore::TextKind kind = CellStore::TextKind::Other;
            QByteArrayView text;
            i = table->cellStore().csvFields(row, columns.constData(), int(count), i, p, kind,
                                             text);
            if (i == count)
                break;
            sink.advance(p - start);
            if (i)
                sink.put(',');
            if (kind == CellStore::TextKind::Utf8 && !translates) {
                putQuoted(sink, text.data(), text.size());
            } else {
                const QByteArray field =
                        fieldText(model->data(model->index(row, columns[i]))).toUtf8();
                putQuoted(sink, field.constData(), field.size());
            }
            ++i;
            start = p = sink.reserve((count - i) * kNumberRoom + 1);
        }
        *p++ = '\n';
        sink.advance(p - start);
        return;
    }

    const int stored = table ? table->cellStore().rowTexts(row, texts.data(), kMaxFastCells) : 0;
    const int known = qMin(stored, kMaxFastCells);
    // Numbers and empty cells are written through a pointer into room made for the rest of the
    // row at once; texts make room of their own.
    char *start = sink.reserve(count * kNumberRoom + 1);
    char *p = start;
    for (qsizetype i = 0; i < count; ++i) {
        const int c = columns[i];
        const CellStore::CellText *t = nullptr;
        if (table)
            t = c < known ? &texts[c] : c >= stored ? &kEmpty : nullptr;
        if (t
            && (t->kind == CellStore::TextKind::Number || t->kind == CellStore::TextKind::Empty)) {
            *p = ',';
            p += i > 0 ? 1 : 0;
            // A number's text holds no quote. The whole buffer is copied: a copy of fixed size
            // costs a fraction of one of the text's length.
            const int n = t->kind == CellStore::TextKind::Number ? t->length : 0;
            p[0] = '"';
            std::memcpy(p + 1, t->number, sizeof t->number);
            p[n + 1] = '"';
            p += n + 2;
            continue;
        }
        sink.advance(p - start);
        if (i)
            sink.put(',');
        if (t && t->kind == CellStore::TextKind::Utf8 && !translates) {
            putQuoted(sink, t->utf8.data(), t->utf8.size());
        } else {
            const QByteArray text = fieldText(model->data(model->index(row, c))).toUtf8();
            putQuoted(sink, text.constData(), text.size());
        }
        start = p = sink.reserve((count - i) * kNumberRoom + 1);
    }
    *p++ = '\n';
    sink.advance(p - start);
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
    if (file.error() == QFileDevice::NoError) {
        result.reason = {QStringLiteral("写入不完整（磁盘已满或达到文件大小上限）"),
                         QStringLiteral("Incomplete write (disk full or file size limit reached)")};
        result.error = result.reason.english();
    } else {
        result.error = file.errorString();
    }
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
        const auto *table = qobject_cast<const RDModel *>(model);
        const bool ascending = std::is_sorted(cols.cbegin(), cols.cend());
        const int rows = model->rowCount();
        Sink sink(out);
        auto texts = std::make_unique<RowTexts>();
        for (int r = 0; r < rows; ++r) {
            putRow(sink, model, table, cols, ascending, r, *texts);
            if (sink.size() >= kFlushSize) {
                if (!writeAll(file, sink.finish()))
                    return failure(file, "Writing CSV export");
                sink.clear();
            }
        }
        sink.finish();
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
    {
        const auto *table = qobject_cast<const RDModel *>(model);
        const bool ascending = std::is_sorted(cols.cbegin(), cols.cend());
        Sink sink(out);
        auto texts = std::make_unique<RowTexts>();
        for (int r = first; r <= last; ++r)
            putRow(sink, model, table, cols, ascending, r, *texts);
        sink.finish();
    }

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
