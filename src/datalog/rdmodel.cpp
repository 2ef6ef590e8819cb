#include "datalog/rdmodel.h"

#include "datalog/dataloglog.h"
#include "datalog/dateformat.h"
#include "protocol/protocolconfig.h"

#include <QDateTime>
#include <QTime>

namespace {

const QString kSystemType = QStringLiteral("system");
const QString kStatusType = QStringLiteral("status");
const QString kDateField = QStringLiteral("_date");
const QString kTimeField = QStringLiteral("_time");
const QString kDefaultDateFormat = QStringLiteral("yyyy-MM-dd");
constexpr int kStandbyCode = 0xF000;

// "HH:mm:ss.cc" with the hundredths truncated, without parsing a format on every row.
QString timeText(const QTime &t)
{
    const int parts[4] = {t.hour(), t.minute(), t.second(), t.msec() / 10};
    QChar buffer[11];
    for (int i = 0; i < 4; ++i) {
        buffer[i * 3] = QChar(u'0' + parts[i] / 10);
        buffer[i * 3 + 1] = QChar(u'0' + parts[i] % 10);
        if (i < 3)
            buffer[i * 3 + 2] = QChar(i < 2 ? u':' : u'.');
    }
    return QString(buffer, 11);
}

} // namespace

RDModel::RDModel(QObject *parent) : QAbstractTableModel(parent) { }

RDModel::~RDModel() = default;

// Cells have no children: answering the table's size for a cell would make proxies and
// accessibility walk an endless tree.
int RDModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_store.rowCount());
}

int RDModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || m_columns.isEmpty())
        return 0;
    return int(m_columns.size()) + (m_alarmText ? 1 : 0);
}

QString RDModel::displayText(const QString &text) const
{
    return m_translator ? m_translator(text) : text;
}

QVariant RDModel::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.column() < 0 || !index.model() || m_columns.isEmpty()
        || index.column() >= m_columns.size() + (m_alarmText ? 1 : 0))
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    if (index.row() >= m_store.rowCount())
        return QVariant();
    QVariant cell = m_store.cell(index.row(), index.column());
    if (m_translator && cell.typeId() == QMetaType::QString)
        return displayText(cell.toString());
    return cell;
}

QVariant RDModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section >= 0 && section < m_columns.size())
        return displayText(m_columns.at(section).header);
    if (section == m_columns.size() && section < columnCount())
        return displayText(alarmColumnHeader());
    return QVariant();
}

void RDModel::setProtocolConfig(ProtocolConfig *config)
{
    setColumns(config ? config->tableColumns() : QList<TableColumn>());
}

void RDModel::setColumns(const QList<TableColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    endResetModel();
    emit columnsChanged();
    qCDebug(lcDatalog) << "Table columns set:" << m_columns.size();
}

void RDModel::localNow(QDate &date, QTime &time)
{
    if (m_clock) {
        const QDateTime now = m_clock();
        date = now.date();
        time = now.time();
        return;
    }
    constexpr qint64 msPerMinute = 60 * 1000;
    constexpr qint64 msPerDay = 24 * 60 * msPerMinute;
    constexpr qint64 unixEpochJulianDay = 2440588;
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 minute = ms >= 0 ? ms / msPerMinute : (ms - msPerMinute + 1) / msPerMinute;
    if (minute != m_offsetMinute) {
        m_offsetMinute = minute;
        m_offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
    }
    const qint64 local = ms + m_offsetMs;
    const qint64 day = local >= 0 ? local / msPerDay : (local - msPerDay + 1) / msPerDay;
    date = QDate::fromJulianDay(unixEpochJulianDay + day);
    time = QTime::fromMSecsSinceStartOfDay(int(local - day * msPerDay));
}

void RDModel::addSystemCell(const TableColumn &column)
{
    if (column.field == kDateField) {
        const QString &format = column.format.isEmpty() ? kDefaultDateFormat : column.format;
        if (!isDateOnlyFormat(format)) {
            // A custom format may name the time or the zone: let QDateTime do it all.
            const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
            m_store.addString(now.toString(format));
            return;
        }
        QDate today;
        QTime time;
        localNow(today, time);
        if (today != m_cachedDate || format != m_cachedDateFormat || m_cachedDateText.isEmpty()) {
            m_cachedDate = today;
            m_cachedDateFormat = format;
            m_cachedDateText = today.toString(format);
        }
        m_store.addString(m_cachedDateText);
    } else if (column.field == kTimeField) {
        QDate today;
        QTime time;
        localNow(today, time);
        m_store.addString(timeText(time));
    } else {
        m_store.addString(QString());
    }
}

void RDModel::appendDataRow(const QVariantHash &values)
{
    if (m_columns.isEmpty()) {
        qCWarning(lcDatalog) << "Cannot add row without table configuration";
        return;
    }

    m_store.beginRow();
    for (const TableColumn &column : std::as_const(m_columns)) {
        if (column.type == kSystemType) {
            addSystemCell(column);
        } else if (column.type == kStatusType) {
            int code = kStandbyCode;
            const auto it = values.constFind(column.dataField);
            if (it != values.constEnd()) {
                bool ok = false;
                const int converted = it->toInt(&ok);
                if (ok)
                    code = converted;
            }
            m_store.addString(statusToText(code));
        } else {
            const QString &key = column.dataField.isEmpty() ? column.field : column.dataField;
            const auto it = values.constFind(key);
            if (it == values.constEnd())
                m_store.addInvalid();
            else
                m_store.addVariant(*it);
        }
    }

    if (m_alarmText)
        m_store.addString(m_alarmText());

    const int row = int(m_store.rowCount());
    beginInsertRows(QModelIndex(), row, row);
    m_store.endRow();
    endInsertRows();
    emit dataUpdated();
}

void RDModel::setAlarmColumn(const AlarmText &source)
{
    if (bool(source) == bool(m_alarmText) || m_columns.isEmpty()) {
        m_alarmText = source;
        return;
    }
    // The column comes and goes at the end; the other columns keep their place in the view.
    const int column = int(m_columns.size());
    if (source) {
        beginInsertColumns(QModelIndex(), column, column);
        m_alarmText = source;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), column, column);
        m_alarmText = source;
        endRemoveColumns();
    }
}

void RDModel::clearData()
{
    beginResetModel();
    m_store.clear();
    endResetModel();
    emit dataUpdated();
}

void RDModel::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
    const int columns = columnCount();
    if (columns == 0)
        return;
    emit headerDataChanged(Qt::Horizontal, 0, columns - 1);
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, columns - 1), {});
}

QVariant RDModel::storedCell(int row, int column) const
{
    return m_store.cell(row, column);
}

int RDModel::storedCellCount(int row) const
{
    return m_store.cellCount(row);
}

QString RDModel::statusToText(int code)
{
    switch (code) {
    case 0x5008:
        return QStringLiteral("过放保护");
    case 0x5020:
        return QStringLiteral("短路保护");
    case 0x5080:
        return QStringLiteral("放电过流");
    case 0x5300:
        return QStringLiteral("MOS管高温");
    case 0x5400:
        return QStringLiteral("放电高温");
    case 0x5800:
        return QStringLiteral("放电低温");
    case 0xA004:
        return QStringLiteral("过压保护");
    case 0xA005:
        return QStringLiteral("均衡中");
    case 0xA006:
        return QStringLiteral("加热中");
    case 0xA010:
        return QStringLiteral("充电过流");
    case 0xA100:
        return QStringLiteral("充电高温");
    case 0xA200:
        return QStringLiteral("充电低温");
    case 0xC500:
        return QStringLiteral("充放电同时高温保护");
    case 0xCA00:
        return QStringLiteral("充放电同时低温保护");
    case 0xF000:
        return QStringLiteral("待机");
    case 0xF001:
        return QStringLiteral("正在充电");
    case 0xF002:
        return QStringLiteral("正在放电");
    default:
        return QStringLiteral("未知状态(0x%1)").arg(code, 4, 16, QLatin1Char('0')).toUpper();
    }
}
