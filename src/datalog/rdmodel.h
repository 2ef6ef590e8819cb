#pragma once

#include "datalog/cellstore.h"
#include "i18n/translations.h"
#include "protocol/tablecolumn.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QVariantHash>

#include <functional>
#include <limits>

class ProtocolConfig;

// Item model of the real-time table: one row per decoded response, columns from the protocol's
// table mapping. Cells are stored untranslated and translated when asked for, so a language
// switch re-labels past rows too.
class RDModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit RDModel(QObject *parent = nullptr);
    ~RDModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Both reset the model and keep the rows, which then show under the new columns by position.
    void setProtocolConfig(ProtocolConfig *config);
    void setColumns(const QList<TableColumn> &columns);
    QList<TableColumn> columns() const { return m_columns; }

    void appendDataRow(const QVariantHash &values);

    // The optional last column "报警": each row appended while it is on holds the text the source
    // gives at that moment (the active alarms' short names). An empty source removes the column.
    // Off by default, so the table and its CSV stay as the protocol declares them.
    using AlarmText = std::function<QString()>;
    void setAlarmColumn(const AlarmText &source);
    bool hasAlarmColumn() const { return bool(m_alarmText); }
    static QString alarmColumnHeader() { return QStringLiteral("报警"); }
    void clearData();
    void setTranslator(const TextTranslator &translator);

    // The rows as stored (untranslated), for writers that read every cell.
    const CellStore &cellStore() const { return m_store; }
    // Whether display texts of text cells go through a translator.
    bool translatesTexts() const { return bool(m_translator); }

    // The stored (untranslated) cell and the number of cells of a row.
    QVariant storedCell(int row, int column) const;
    int storedCellCount(int row) const;

    // Source of the local date and time of the system columns; the wall clock when empty.
    // Lets a replay stamp rows with recorded times, and tests use a fixed time.
    using Clock = std::function<QDateTime()>;
    void setClock(const Clock &clock) { m_clock = clock; }

    static QString statusToText(int code);

signals:
    void dataUpdated();
    // Another set of columns (a protocol switch), after the reset that shows it.
    void columnsChanged();

private:
    QString displayText(const QString &text) const;
    void addSystemCell(const TableColumn &column);
    void localNow(QDate &date, QTime &time);

    CellStore m_store;
    QList<TableColumn> m_columns;
    TextTranslator m_translator;
    Clock m_clock;
    AlarmText m_alarmText;

    // The UTC offset of local time, looked up again whenever the minute changes: a time-zone
    // lookup costs microseconds, and zone and daylight-saving changes fall on whole minutes.
    qint64 m_offsetMinute = std::numeric_limits<qint64>::min();
    qint64 m_offsetMs = 0;

    // A date-only text changes once a day: format it only then.
    QDate m_cachedDate;
    QString m_cachedDateFormat;
    QString m_cachedDateText;
};
