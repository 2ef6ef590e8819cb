#include "trends/trendcatalogue.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kSystemType = QStringLiteral("system");
const QString kStatusType = QStringLiteral("status");

struct KnownKey
{
    const char *key;
    TrendGroup group;
    const char *unit;
};

// Keys of the value map with a fixed meaning: their group and the unit they come in.
const KnownKey kKnownKeys[] = {
        {"data_totalv", TrendGroup::Pack, "V"},
        {"data_current", TrendGroup::Pack, "A"},
        {"data_maxv", TrendGroup::Pack, "mV"},
        {"data_minv", TrendGroup::Pack, "mV"},
        {"voltage_diff", TrendGroup::Pack, "mV"},
        {"cell_mean", TrendGroup::Pack, "mV"},
        {"ChgCur", TrendGroup::Pack, "mA"},
        {"DsgCur", TrendGroup::Pack, "mA"},
        {"data_maxtemperature", TrendGroup::Temperatures, "℃"},
        {"data_mintemperature", TrendGroup::Temperatures, "℃"},
        {"avg_temp", TrendGroup::Temperatures, "℃"},
        {"temp_diff", TrendGroup::Temperatures, "℃"},
        {"soc", TrendGroup::State, "%"},
        {"soh", TrendGroup::State, "%"},
};

const QRegularExpression &cellPattern()
{
    static const QRegularExpression re(QStringLiteral("^Vcell(\\d+)$"));
    return re;
}

const QRegularExpression &tempPattern()
{
    static const QRegularExpression re(QStringLiteral("^Temp(\\d+)$"));
    return re;
}

bool isTemperatureUnit(const QString &unit)
{
    return unit == QStringLiteral("℃") || unit == QStringLiteral("°C");
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

QString TrendCatalogue::splitHeader(const QString &header, QString *unit)
{
    const QString trimmed = header.trimmed();
    const qsizetype open = trimmed.lastIndexOf(QLatin1Char('('));
    if (open > 0 && trimmed.endsWith(QLatin1Char(')'))) {
        if (unit)
            *unit = trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
        return trimmed.left(open).trimmed();
    }
    if (unit)
        unit->clear();
    return trimmed;
}

TrendCatalogue::TrendCatalogue(const QList<TableColumn> &columns)
{
    struct Candidate
    {
        TrendSeries series;
        int order;
    };
    QList<Candidate> found;
    QHash<QString, int> keyIndex;

    for (int c = 0; c < columns.size(); ++c) {
        const TableColumn &column = columns.at(c);
        if (column.type == kSystemType) {
            if (column.field == QLatin1String("_date") && m_dateColumn < 0) {
                m_dateColumn = c;
                m_dateFormat =
                        column.format.isEmpty() ? QStringLiteral("yyyy-MM-dd") : column.format;
            } else if (column.field == QLatin1String("_time") && m_timeColumn < 0) {
                m_timeColumn = c;
            }
            continue;
        }
        if (column.type == kStatusType)
            continue;
        const QString key = column.dataField.isEmpty() ? column.field : column.dataField;
        // A key shown twice is one curve.
        if (key.isEmpty() || keyIndex.contains(key))
            continue;

        TrendSeries s;
        s.key = key;
        s.column = c;
        s.name = splitHeader(column.header, &s.unit);
        if (s.name.isEmpty())
            s.name = key;
        s.group = TrendGroup::State;
        QString knownUnit;
        if (const auto m = cellPattern().match(key); m.hasMatch()) {
            s.group = TrendGroup::Cells;
            s.cell = m.captured(1).toInt();
            knownUnit = QStringLiteral("mV");
        } else if (tempPattern().match(key).hasMatch()) {
            s.group = TrendGroup::Temperatures;
            knownUnit = QStringLiteral("℃");
        } else {
            for (const KnownKey &known : kKnownKeys) {
                if (key == QLatin1String(known.key)) {
                    s.group = known.group;
                    knownUnit = QString::fromUtf8(known.unit);
                    break;
                }
            }
        }
        if (s.unit.isEmpty())
            s.unit = knownUnit;
        if (s.group == TrendGroup::State && isTemperatureUnit(s.unit))
            s.group = TrendGroup::Temperatures;

        // Source numbers are read in column order.
        keyIndex.insert(key, int(found.size()));
        found.append({s, c});
    }

    // Column series by group; cells by their number, the rest in table order.
    std::stable_sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
        if (a.series.group != b.series.group)
            return a.series.group < b.series.group;
        if (a.series.group == TrendGroup::Cells && a.series.cell != b.series.cell)
            return a.series.cell < b.series.cell;
        return a.order < b.order;
    });

    // Sources ascending by column: found's columns are unique.
    std::vector<int> columnsUsed;
    for (const Candidate &candidate : std::as_const(found))
        columnsUsed.push_back(candidate.series.column);
    std::sort(columnsUsed.begin(), columnsUsed.end());
    m_sources = columnsUsed;
    auto sourceIndex = [this](int column) {
        return int(std::lower_bound(m_sources.begin(), m_sources.end(), column)
                   - m_sources.begin());
    };

    QList<TrendSeries> ordered;
    for (const Candidate &candidate : std::as_const(found)) {
        const TrendSeries &s = candidate.series;
        const int source = sourceIndex(s.column);
        if (s.group == TrendGroup::Cells)
            m_cells.push_back(source);
        else if (tempPattern().match(s.key).hasMatch())
            m_temps.push_back(source);
        if (s.key == QLatin1String("ChgCur"))
            m_charge = source;
        else if (s.key == QLatin1String("DsgCur"))
            m_discharge = source;
        else if (s.key == QLatin1String("remain_cap"))
            m_remaining = source;
        else if (s.key == QLatin1String("full_cap"))
            m_full = source;
        m_series.append(s);
        m_sourceOf.push_back(source);
    }

    // Derived figures, each only where the table lacks its column. They go after the columns
    // of their group.
    auto missing = [&keyIndex](const char *key) { return !keyIndex.contains(QLatin1String(key)); };
    if (!m_cells.empty()) {
        if (missing("data_totalv"))
            addDerived(TrendDerived::Total, QStringLiteral("data_totalv"),
                       QStringLiteral("电池组电压"), QStringLiteral("V"), TrendGroup::Pack);
        if (missing("data_maxv"))
            addDerived(TrendDerived::Highest, QStringLiteral("data_maxv"),
                       QStringLiteral("最大电芯电压"), QStringLiteral("mV"), TrendGroup::Pack);
        if (missing("data_minv"))
            addDerived(TrendDerived::Lowest, QStringLiteral("data_minv"),
                       QStringLiteral("最小电芯电压"), QStringLiteral("mV"), TrendGroup::Pack);
        if (missing("voltage_diff"))
            addDerived(TrendDerived::Spread, QStringLiteral("voltage_diff"),
                       QStringLiteral("电压差值"), QStringLiteral("mV"), TrendGroup::Pack);
        if (missing("cell_mean"))
            addDerived(TrendDerived::Mean, QStringLiteral("cell_mean"),
                       QStringLiteral("平均电芯电压"), QStringLiteral("mV"), TrendGroup::Pack);
    }
    if (missing("data_current") && (m_charge >= 0 || m_discharge >= 0))
        addDerived(TrendDerived::Current, QStringLiteral("data_current"),
                   QStringLiteral("电池组电流"), QStringLiteral("A"), TrendGroup::Pack);
    if (!m_temps.empty()) {
        if (missing("data_maxtemperature"))
            addDerived(TrendDerived::HighestTemp, QStringLiteral("data_maxtemperature"),
                       QStringLiteral("最高温度"), QStringLiteral("℃"), TrendGroup::Temperatures);
        if (missing("data_mintemperature"))
            addDerived(TrendDerived::LowestTemp, QStringLiteral("data_mintemperature"),
                       QStringLiteral("最低温度"), QStringLiteral("℃"), TrendGroup::Temperatures);
        if (missing("avg_temp"))
            addDerived(TrendDerived::MeanTemp, QStringLiteral("avg_temp"),
                       QStringLiteral("平均温度"), QStringLiteral("℃"), TrendGroup::Temperatures);
    }
    if (missing("soc") && missing("soc_percent") && m_remaining >= 0 && m_full >= 0)
        addDerived(TrendDerived::Soc, QStringLiteral("soc"), QStringLiteral("SOC"),
                   QStringLiteral("%"), TrendGroup::State);

    // Derived figures were appended at the end: move each behind the last series of its group.
    std::vector<int> order(size_t(m_series.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return m_series.at(a).group < m_series.at(b).group; });
    QList<TrendSeries> sorted;
    std::vector<int> sourceOf;
    for (int i : order) {
        sorted.append(m_series.at(i));
        sourceOf.push_back(m_sourceOf[size_t(i)]);
    }
    m_series = sorted;
    m_sourceOf = sourceOf;
}

void TrendCatalogue::addDerived(TrendDerived kind, const QString &key, const QString &name,
                                const QString &unit, TrendGroup group)
{
    TrendSeries s;
    s.key = key;
    s.name = name;
    s.unit = unit;
    s.group = group;
    s.derived = kind;
    m_series.append(s);
    m_sourceOf.push_back(-1);
}

int TrendCatalogue::indexOf(const QString &key) const
{
    for (int i = 0; i < m_series.size(); ++i) {
        if (m_series.at(i).key == key)
            return i;
    }
    return -1;
}

void TrendCatalogue::evaluate(const double *sources, double *values) const
{
    // Pack figures over the cells within the window, as the window's own processing counts them.
    double total = 0, highest = -std::numeric_limits<double>::infinity();
    double lowest = std::numeric_limits<double>::infinity();
    int counted = 0;
    for (int source : m_cells) {
        const double v = sources[source];
        if (v >= kMinCellMilliVolts && v <= kMaxCellMilliVolts) {
            total += v;
            highest = std::max(highest, v);
            lowest = std::min(lowest, v);
            ++counted;
        }
    }
    double tHigh = -std::numeric_limits<double>::infinity();
    double tLow = std::numeric_limits<double>::infinity();
    double tSum = 0;
    int probes = 0;
    for (int source : m_temps) {
        const double v = sources[source];
        if (std::isfinite(v)) {
            tHigh = std::max(tHigh, v);
            tLow = std::min(tLow, v);
            tSum += v;
            ++probes;
        }
    }

    const int n = int(m_series.size());
    for (int i = 0; i < n; ++i) {
        const int source = m_sourceOf[size_t(i)];
        if (source >= 0) {
            values[i] = sources[source];
            continue;
        }
        double v = kNaN;
        switch (m_series.at(i).derived) {
        case TrendDerived::Total:
            v = counted ? total / 1000.0 : kNaN;
            break;
        case TrendDerived::Highest:
            v = counted ? highest : kNaN;
            break;
        case TrendDerived::Lowest:
            v = counted ? lowest : kNaN;
            break;
        case TrendDerived::Spread:
            v = counted ? highest - lowest : kNaN;
            break;
        case TrendDerived::Mean:
            v = counted ? total / counted : kNaN;
            break;
        case TrendDerived::Current: {
            const double c = m_charge >= 0 ? sources[m_charge] : kNaN;
            const double d = m_discharge >= 0 ? sources[m_discharge] : kNaN;
            if (std::isfinite(c) || std::isfinite(d))
                v = ((std::isfinite(c) ? c : 0.0) - (std::isfinite(d) ? d : 0.0)) * 0.001;
            break;
        }
        case TrendDerived::HighestTemp:
            v = probes ? tHigh : kNaN;
            break;
        case TrendDerived::LowestTemp:
            v = probes ? tLow : kNaN;
            break;
        case TrendDerived::MeanTemp:
            v = probes ? tSum / probes : kNaN;
            break;
        case TrendDerived::Soc: {
            const double remaining = sources[m_remaining];
            const double full = sources[m_full];
            if (std::isfinite(remaining) && full > 0)
                v = remaining / full * 100.0;
            break;
        }
        case TrendDerived::None:
            break;
        }
        values[i] = v;
    }
}
