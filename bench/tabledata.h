#pragma once

// The 40-column table of the table and CSV benchmarks: date, time, status and 37 readings, with
// value maps as the processing builds them.

#include "protocol/tablecolumn.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QVariantHash>

namespace bench {

constexpr int kMaps = 4096;

inline TableColumn column(const QString &header, const QString &field, const QString &type,
                          const QString &dataField = QString())
{
    TableColumn c;
    c.header = header;
    c.field = field;
    c.type = type;
    c.dataField = dataField;
    return c;
}

inline QList<TableColumn> columns()
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
inline QList<QVariantHash> valueMaps()
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

// Value maps in which every real is new: each raw reading walks its whole range in a stride that
// never comes back within 100,003 rows, so no reading repeats in its column (sums and averages
// of them hardly ever), and the scales and offsets (raw x scale + offset, as the processing
// applies them) leave many reals a few units in the last place off their short decimal. One map is
// made per call, so a long table does not need them all in memory.
class UniqueValueMaps
{
public:
    UniqueValueMaps()
    {
        const QList<TableColumn> cols = columns();
        for (const TableColumn &c : cols) {
            if (c.type != QStringLiteral("system") && c.type != QStringLiteral("status"))
                m_keys.append(c.field);
        }
    }

    const QVariantHash &map(int row)
    {
        // raw in [0, kRange): a prime range and per-key strides make every key's walk a
        // permutation of it.
        constexpr qint64 kRange = 100003;
        const auto raw = [row](int key) {
            return double((qint64(row) * (7919 + 104 * key) + 31 * key) % kRange);
        };
        int k = 0;
        const auto reading = [&](double scale, double offset) {
            const double v = raw(k) * scale + offset;
            m_map.insert(m_keys.at(k++), v);
            return v;
        };
        const auto derived = [&](const QVariant &v) { m_map.insert(m_keys.at(k++), v); };
        double sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += reading(0.00001, 2.8); // 2.80000 .. 3.80003 V
        double tsum = 0;
        for (int i = 0; i < 4; ++i)
            tsum += reading(0.001, -40.0); // -40.000 .. 60.003 degC
        const double chg = reading(0.001, 0.0); // 0 .. 100.003 A
        const double dsg = reading(-0.002, 0.5); // -199.506 .. 0.5 A
        reading(0.001, 20.0); // remaining capacity, Ah
        reading(0.0001, 95.0); // full capacity, Ah
        reading(0.001, 0.0); // state of charge, %
        reading(0.0002, 80.0); // state of health, %
        // The extremes and spreads as the battery reports them: a maximum taken over the cells
        // here would repeat a cell's value.
        reading(0.00001, 3.0); // highest cell, V
        reading(0.00001, 2.7); // lowest cell, V
        derived(16);
        derived(16);
        derived(sum);
        reading(0.00001, 0.0); // cell spread, V
        derived(chg + dsg);
        reading(0.001, -30.0); // highest temperature, degC
        reading(0.001, -45.0); // lowest temperature, degC
        derived(tsum / 4);
        reading(0.0001, 0.0); // temperature spread, K
        m_map.insert(QStringLiteral("WorkState"), double(0xF000 + (row / 1000) % 3));
        return m_map;
    }

private:
    QStringList m_keys;
    QVariantHash m_map;
};

} // namespace bench
