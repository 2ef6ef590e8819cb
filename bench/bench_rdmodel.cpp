// Appends 1,000,000 rows of 40 columns (date, time, status, 37 readings) to the real-time table
// model and to a plain QList<QList<QVariant>> row store, and prints heap bytes and time per row.
#include "datalog/csvwriter.h"
#include "datalog/rdmodel.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define HAVE_MALLINFO2 1
#endif

namespace {

constexpr int kRows = 1000000;
constexpr int kMaps = 4096;

long long heapInUse()
{
#ifdef HAVE_MALLINFO2
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

TableColumn column(const QString &header, const QString &field, const QString &type,
                   const QString &dataField = QString())
{
    TableColumn c;
    c.header = header;
    c.field = field;
    c.type = type;
    c.dataField = dataField;
    return c;
}

QList<TableColumn> columns()
{
    QList<TableColumn> cols{
            column(QStringLiteral("日期"), QStringLiteral("_date"), QStringLiteral("system")),
            column(QStringLiteral("时间"), QStringLiteral("_time"), QStringLiteral("system")),
            column(QStringLiteral("状态"), QStringLiteral("status"), QStringLiteral("status"),
                   QStringLiteral("WorkState"))};
    QStringList keys;
    for (int i = 1; i <= 16; ++i)
        keys << QStringLiteral("Vcell%1").arg(i);
    for (int i = 1; i <= 4; ++i)
        keys << QStringLiteral("Temp%1").arg(i);
    keys << QStringLiteral("ChgCur") << QStringLiteral("DsgCur") << QStringLiteral("remain_cap")
         << QStringLiteral("full_cap") << QStringLiteral("soc") << QStringLiteral("soh")
         << QStringLiteral("data_maxv") << QStringLiteral("data_minv")
         << QStringLiteral("data_cellcount") << QStringLiteral("data_number")
         << QStringLiteral("data_totalv") << QStringLiteral("voltage_diff")
         << QStringLiteral("data_current") << QStringLiteral("data_maxtemperature")
         << QStringLiteral("data_mintemperature") << QStringLiteral("avg_temp")
         << QStringLiteral("temp_diff");
    for (const QString &k : std::as_const(keys))
        cols.append(column(k, k, QStringLiteral("voltage")));
    return cols;
}

// Value maps as the processing builds them: raw × scale + offset, then the derived figures.
QList<QVariantHash> valueMaps()
{
    QRandomGenerator rng(7);
    QList<QVariantHash> maps;
    int cells[16];
    int temps[4];
    for (int &c : cells)
        c = 3200 + int(rng.bounded(200u));
    for (int &t : temps)
        t = 2950 + int(rng.bounded(80u));
    const int workStates[] = {0xF000, 0xF001, 0xF002, 0xA005};
    for (int m = 0; m < kMaps; ++m) {
        QVariantHash v;
        double sum = 0, hi = -999999, lo = 999999;
        for (int i = 0; i < 16; ++i) {
            cells[i] += int(rng.bounded(5u)) - 2;
            const double mv = cells[i] * 1.0 + 0.0;
            v.insert(QStringLiteral("Vcell%1").arg(i + 1), mv);
            sum += mv;
            hi = qMax(hi, mv);
            lo = qMin(lo, mv);
        }
        double tsum = 0, thi = -999, tlo = 999;
        for (int i = 0; i < 4; ++i) {
            temps[i] += int(rng.bounded(3u)) - 1;
            const double t = temps[i] * 0.1 + -273.1;
            v.insert(QStringLiteral("Temp%1").arg(i + 1), t);
            tsum += t;
            thi = qMax(thi, t);
            tlo = qMin(tlo, t);
        }
        const double chg = (m / 512) % 2 ? int(rng.bounded(20000u)) * 1.0 : 0.0;
        const double dsg = (m / 512) % 2 ? 0.0 : int(rng.bounded(30000u)) * 1.0;
        v.insert(QStringLiteral("ChgCur"), chg);
        v.insert(QStringLiteral("DsgCur"), dsg);
        v.insert(QStringLiteral("remain_cap"), int(8000 + rng.bounded(2000u)) * 0.01);
        v.insert(QStringLiteral("full_cap"), 10000 * 0.01);
        v.insert(QStringLiteral("soc"), int(rng.bounded(101u)) * 1.0);
        v.insert(QStringLiteral("soh"), 98.0);
        v.insert(QStringLiteral("data_maxv"), hi);
        v.insert(QStringLiteral("data_minv"), lo);
        v.insert(QStringLiteral("data_cellcount"), 16);
        v.insert(QStringLiteral("data_number"), 16);
        v.insert(QStringLiteral("data_totalv"), sum * 0.001);
        v.insert(QStringLiteral("voltage_diff"), hi - lo);
        v.insert(QStringLiteral("data_current"), qMax(chg, dsg) * 0.001);
        v.insert(QStringLiteral("data_maxtemperature"), thi);
        v.insert(QStringLiteral("data_mintemperature"), tlo);
        v.insert(QStringLiteral("avg_temp"), tsum / 4);
        v.insert(QStringLiteral("temp_diff"), thi - tlo);
        v.insert(QStringLiteral("WorkState"), double(workStates[(m / 256) % 4]));
        maps.append(v);
    }
    return maps;
}

// The straightforward store: one QList<QVariant> per row, cells made by the same rules.
class ReferenceModel : public QAbstractTableModel
{
public:
    explicit ReferenceModel(const QList<TableColumn> &columns) : m_columns(columns) { }
    int rowCount(const QModelIndex & = QModelIndex()) const override { return int(m_rows.size()); }
    int columnCount(const QModelIndex & = QModelIndex()) const override
    {
        return int(m_columns.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || index.row() >= m_rows.size())
            return QVariant();
        return m_rows.at(index.row()).value(index.column());
    }

    void appendDataRow(const QVariantHash &values)
    {
        QList<QVariant> row;
        row.reserve(m_columns.size());
        for (const TableColumn &c : std::as_const(m_columns)) {
            if (c.type == QLatin1String("system")) {
                const QDateTime now = QDateTime::currentDateTime();
                if (c.field == QLatin1String("_date"))
                    row.append(now.toString(QStringLiteral("yyyy-MM-dd")));
                else
                    row.append(QString(
                            now.toString(QStringLiteral("HH:mm:ss")) + u'.'
                            + QString::number(now.time().msec() / 10).rightJustified(2, u'0')));
            } else if (c.type == QLatin1String("status")) {
                bool ok = false;
                int code = values.value(c.dataField).toInt(&ok);
                row.append(RDModel::statusToText(ok ? code : 0xF000));
            } else {
                row.append(values.value(c.dataField.isEmpty() ? c.field : c.dataField));
            }
        }
        beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size()));
        m_rows.append(row);
        endInsertRows();
    }

private:
    QList<TableColumn> m_columns;
    QList<QList<QVariant>> m_rows;
};

struct Figures
{
    long long heapPerRow;
    long long nsPerRow;
};

template<typename Model>
Figures measure(Model &model, const QList<QVariantHash> &maps)
{
    const long long heapBefore = heapInUse();
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRows; ++r)
        model.appendDataRow(maps.at(r % kMaps));
    const auto end = std::chrono::steady_clock::now();
    const long long heapAfter = heapInUse();
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count();
    return {heapBefore < 0 ? -1 : (heapAfter - heapBefore) / kRows, ns / kRows};
}

// Both stores must hold the same readings, bit for bit (the time column differs by nature).
bool sameReadings(const QAbstractItemModel &a, const QAbstractItemModel &b)
{
    for (int r = 0; r < kRows; r += 997) {
        for (int c = 2; c < a.columnCount(); ++c) {
            const QVariant x = a.data(a.index(r, c), Qt::DisplayRole);
            const QVariant y = b.data(b.index(r, c), Qt::DisplayRole);
            if (x.typeId() != y.typeId())
                return false;
            if (x.typeId() == QMetaType::Double) {
                const double dx = x.toDouble(), dy = y.toDouble();
                if (std::memcmp(&dx, &dy, sizeof dx) != 0)
                    return false;
            } else if (x != y) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QList<TableColumn> cols = columns();
    const QList<QVariantHash> maps = valueMaps();

    RDModel model;
    model.setColumns(cols);
    const Figures ours = measure(model, maps);

    ReferenceModel reference(cols);
    const Figures ref = measure(reference, maps);

    std::printf("rows: %d\ncolumns: %d\n", kRows, int(cols.size()));
    std::printf("heap_bytes_per_row: %lld\nappend_ns_per_row: %lld\n", ours.heapPerRow,
                ours.nsPerRow);
    std::printf("reference_heap_bytes_per_row: %lld\nreference_append_ns_per_row: %lld\n",
                ref.heapPerRow, ref.nsPerRow);

    // One-shot export of the whole table, as the export button does.
    QTemporaryDir dir;
    const auto start = std::chrono::steady_clock::now();
    const CsvWriteResult written = CsvWriter::exportToFile(
            &model, CsvWriter::allColumns(&model), dir.filePath(QStringLiteral("bench.csv")));
    const auto end = std::chrono::steady_clock::now();
    std::printf("export_ns_per_row: %lld%s\n",
                static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count()
                        / kRows),
                written.ok ? "" : " (failed)");

    const bool same = sameReadings(model, reference);
    std::printf("readings_identical: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
