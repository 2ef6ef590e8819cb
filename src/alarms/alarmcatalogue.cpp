#include "alarms/alarmcatalogue.h"

#include "protocol/protocolconfig.h"

#include <algorithm>

namespace {

struct Derived
{
    const char *key;
    const char *unit;
    const char *label;
    const char *field;
    bool numeric;
};

// Figures the value processing adds to every value map (or whenever the store holds their
// inputs), with the units it computes them in.
const Derived kDerived[] = {
        {"data_maxv", "mV", "最大电压", "data_maxv", true},
        {"data_minv", "mV", "最小电压", "data_minv", true},
        {"voltage_diff", "mV", "电压差值", "data_vdiff", true},
        {"data_totalv", "V", "总电压", "data_totalv", true},
        {"data_cellcount", "", "电池串数", "", true},
        {"data_number", "", "电池串数", "data_number", true},
        {"data_current", "A", "总电流", "data_current", true},
        {"data_maxtemperature", "℃", "最高温度", "data_maxtemperature", true},
        {"data_mintemperature", "℃", "最低温度", "data_mintemperature", true},
        {"avg_temp", "℃", "平均温度", "", true},
        {"temp_diff", "℃", "温差", "", true},
        {"soc_percent", "%", "SOC", "", true},
        {"soc", "%", "SOC", "data_soc", true},
        {"soh", "%", "SOH", "data_soh", true},
        {"WorkState", "", "工作状态", "", true},
        {"BlanceState", "", "BlanceState", "", true},
        {"current_status", "", "current_status", "", false},
        {"workStateValue", "", "工作状态", "", false},
        {"ProtocolVersion", "", "协议版本", "", false},
        {"data_protocolversion", "", "协议版本", "data_protocolversion", false},
        {"timestamp", "", "timestamp", "", false},
};

const Derived *derived(const QString &key)
{
    for (const Derived &d : kDerived) {
        if (key == QLatin1String(d.key))
            return &d;
    }
    return nullptr;
}

// "电芯1 (mV)" -> "电芯1".
QString headerCaption(const QString &header)
{
    const QString trimmed = header.trimmed();
    const qsizetype paren = trimmed.indexOf(QLatin1Char('('));
    if (paren > 0 && trimmed.endsWith(QLatin1Char(')')))
        return trimmed.left(paren).trimmed();
    return trimmed;
}

} // namespace

QStringList AlarmCatalogue::derivedKeys()
{
    QStringList keys;
    for (const Derived &d : kDerived)
        keys.append(QString::fromUtf8(d.key));
    return keys;
}

int AlarmCatalogue::cellNumber(const QString &key)
{
    if (!key.startsWith(QLatin1String("Vcell")) || key.size() <= 5 || key.size() > 9)
        return 0;
    int n = 0;
    for (qsizetype i = 5; i < key.size(); ++i) {
        const QChar c = key.at(i);
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

QString AlarmCatalogue::cellLabel(int cell)
{
    return QStringLiteral("电芯%1").arg(cell);
}

void AlarmCatalogue::addEntry(const Entry &entry)
{
    if (m_index.contains(entry.key))
        return;
    m_index.insert(entry.key, int(m_entries.size()));
    m_entries.append(entry);
    const int cell = cellNumber(entry.key);
    if (cell > 0) {
        m_cells.append(cell);
        std::sort(m_cells.begin(), m_cells.end());
    }
}

AlarmCatalogue AlarmCatalogue::fromProtocol(const ProtocolConfig &config)
{
    AlarmCatalogue catalogue;
    QHash<QString, QString> captions;
    const QList<TableColumn> columns = config.tableColumns();
    for (const TableColumn &column : columns) {
        const QString key = column.dataField.isEmpty() ? column.field : column.dataField;
        if (!key.isEmpty() && !captions.contains(key))
            captions.insert(key, headerCaption(column.header));
    }

    bool remain = false;
    bool full = false;
    const QStringList commands = config.commandNames();
    for (const QString &command : commands) {
        const QList<DataSegment> segments = config.dataSegments(command);
        for (const DataSegment &segment : segments) {
            if (segment.name.isEmpty())
                continue;
            remain = remain || segment.name == QLatin1String("remain_cap");
            full = full || segment.name == QLatin1String("full_cap");
            // A segment named like a derived figure is replaced by it in the value map.
            if (derived(segment.name) && segment.name != QLatin1String("soc")
                && segment.name != QLatin1String("soh")
                && segment.name != QLatin1String("WorkState")
                && segment.name != QLatin1String("BlanceState"))
                continue;
            Entry e;
            e.key = segment.name;
            e.unit = segment.unit;
            e.field = segment.uiField;
            const int cell = cellNumber(segment.name);
            if (cell > 0)
                e.label = cellLabel(cell);
            else
                e.label = captions.value(segment.name, segment.name);
            catalogue.addEntry(e);
        }
    }
    for (const Derived &d : kDerived) {
        const QString key = QString::fromUtf8(d.key);
        if (key == QLatin1String("soc_percent") && !(remain && full))
            continue;
        // Copies of segments exist only where the protocol has the segment.
        if ((key == QLatin1String("soc") || key == QLatin1String("soh")
             || key == QLatin1String("WorkState") || key == QLatin1String("BlanceState")))
            continue;
        catalogue.addEntry({key, QString::fromUtf8(d.unit), QString::fromUtf8(d.label),
                            QString::fromUtf8(d.field), d.numeric});
    }
    return catalogue;
}

AlarmCatalogue::Entry AlarmCatalogue::entry(const QString &key) const
{
    const auto it = m_index.constFind(key);
    if (it != m_index.constEnd())
        return m_entries.at(*it);
    Entry e;
    e.key = key;
    const int cell = cellNumber(key);
    if (cell > 0) {
        e.label = cellLabel(cell);
        e.field = QStringLiteral("data_cell%1").arg(cell);
    } else if (const Derived *d = derived(key)) {
        e.unit = QString::fromUtf8(d->unit);
        e.label = QString::fromUtf8(d->label);
        e.field = QString::fromUtf8(d->field);
        e.numeric = d->numeric;
    } else {
        e.label = key;
    }
    return e;
}

QStringList AlarmCatalogue::keys() const
{
    QStringList out;
    out.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        out.append(e.key);
    return out;
}

AlarmRuleList AlarmCatalogue::check(const QList<AlarmRule> &rules) const
{
    AlarmRuleList out;
    for (int i = 0; i < rules.size(); ++i) {
        const AlarmRule &rule = rules.at(i);
        AlarmProblem p;
        p.rule = rule.name;
        p.index = i;
        if (isEmpty() || rule.isSwitchOff()) {
            out.rules.append(rule);
            continue;
        }
        if (rule.isEveryCell()) {
            if (m_cells.isEmpty()) {
                p.kind = AlarmProblem::Kind::NoCells;
                out.problems.append(p);
                continue;
            }
        } else if (!contains(rule.value)) {
            p.kind = AlarmProblem::Kind::UnknownValue;
            p.detail = rule.value;
            out.problems.append(p);
            continue;
        } else if (!entry(rule.value).numeric) {
            p.kind = AlarmProblem::Kind::TextValue;
            p.detail = rule.value;
            out.problems.append(p);
            continue;
        }
        out.rules.append(rule);
    }
    return out;
}
