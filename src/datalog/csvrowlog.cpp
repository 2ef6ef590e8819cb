#include "datalog/csvrowlog.h"

#include "acquisition/sample.h"
#include "i18n/translations.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Rows kept before the table is emptied: a few, so that memory stays flat however long a log runs.
constexpr int kRowsKept = 256;

} // namespace

CsvRowLog::CsvRowLog()
{
    m_table.setClock([this] { return m_rowTime; });
}

void CsvRowLog::setProtocolConfig(ProtocolConfig *config)
{
    m_table.setProtocolConfig(config);
    m_columns = CsvWriter::allColumns(&m_table);
}

void CsvRowLog::setLanguage(int language)
{
    if (language == English || language == German)
        m_table.setTranslator(
                [language](const QString &text) { return translateWithUnit(language, text); });
    else
        m_table.setTranslator(TextTranslator());
}

QByteArray CsvRowLog::fileHeader() const
{
    return QByteArray("\xEF\xBB\xBF") + CsvWriter::headerLine(&m_table, m_columns);
}

CsvWriteResult CsvRowLog::open(const QString &path)
{
    m_path.clear();
    m_rowsWritten = 0;
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists() && info.isDir())
        return {false, QStringLiteral("%1 is a directory").arg(path)};
    if (info.exists() && info.size() > 0) {
        if (!file.open(QIODevice::ReadOnly))
            return {false, file.errorString()};
        const QByteArray expected = fileHeader();
        if (file.read(expected.size()) != expected)
            return {false, QStringLiteral("%1 holds another table (its header differs)").arg(path)};
        file.close();
        // Appending needs write access: find out now, not at the first row.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return {false, file.errorString()};
        file.close();
    } else {
        m_table.clearData();
        const CsvWriteResult result = CsvWriter::exportToFile(&m_table, m_columns, path);
        if (!result.ok)
            return result;
    }
    m_path = path;
    return {};
}

CsvWriteResult CsvRowLog::append(const Sample &sample)
{
    if (m_path.isEmpty())
        return {false, QStringLiteral("No CSV file open")};
    if (m_table.rowCount() >= kRowsKept)
        m_table.clearData();
    m_rowTime = sample.receivedAt;
    m_table.appendDataRow(sample.values);
    const int row = m_table.rowCount() - 1;
    const CsvWriteResult result = CsvWriter::appendRows(&m_table, m_columns, row, row, m_path);
    if (result.ok)
        ++m_rowsWritten;
    return result;
}
