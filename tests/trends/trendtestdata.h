#pragma once

// Tables for the trend tests: the sample protocol's columns, rows with chosen values stamped
// with chosen times.

#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"

#include <QDateTime>
#include <QVariantHash>

#include <functional>

inline QList<TableColumn> sampleColumns(const QString &file = QStringLiteral("cs-16s.json"))
{
    ProtocolConfig config;
    if (!config.loadConfig(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/") + file))
        return {};
    return config.tableColumns();
}

// A fixed local start, so that expected times are known.
inline QDateTime trendStart()
{
    return QDateTime(QDate(2024, 5, 17), QTime(22, 0));
}

// Appends one row stamped at `when`.
inline void appendAt(RDModel &model, const QDateTime &when, const QVariantHash &values)
{
    model.setClock([when] { return when; });
    model.appendDataRow(values);
    model.setClock({});
}

// A pack's value map: 16 cells from cell(i) (i from 1), current and temperature.
inline QVariantHash packValues(const std::function<double(int)> &cell, double current,
                               double temperature)
{
    QVariantHash v;
    double low = 1e9, high = -1e9, total = 0;
    for (int i = 1; i <= 16; ++i) {
        const double mv = cell(i);
        v.insert(QStringLiteral("Vcell%1").arg(i), mv);
        low = qMin(low, mv);
        high = qMax(high, mv);
        total += mv;
    }
    v.insert(QStringLiteral("data_maxv"), high);
    v.insert(QStringLiteral("data_minv"), low);
    v.insert(QStringLiteral("voltage_diff"), high - low);
    v.insert(QStringLiteral("data_totalv"), total / 1000.0);
    v.insert(QStringLiteral("data_current"), current);
    v.insert(QStringLiteral("Temp1"), temperature);
    return v;
}
