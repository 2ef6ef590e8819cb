#include "alarms/alarmevaluator.h"

#include "alarms/alarmslog.h"

#include <algorithm>
#include <cmath>

QList<AlarmEvent> AlarmEvaluator::setRules(const QList<AlarmRule> &rules, qint64 timeMs)
{
    QList<AlarmEvent> cleared;
    QList<RuleState> next;
    next.reserve(rules.size());
    for (const AlarmRule &rule : rules) {
        RuleState state;
        state.rule = rule;
        const auto old = std::find_if(m_states.begin(), m_states.end(),
                                      [&rule](const RuleState &s) { return s.rule == rule; });
        if (old != m_states.end()) {
            state = std::move(*old);
            m_states.erase(old);
        }
        next.append(std::move(state));
    }
    for (RuleState &gone : m_states)
        cleared += clearTargets(gone, timeMs);
    m_states = std::move(next);
    return cleared;
}

QList<AlarmRule> AlarmEvaluator::rules() const
{
    QList<AlarmRule> out;
    out.reserve(m_states.size());
    for (const RuleState &s : m_states)
        out.append(s.rule);
    return out;
}

QList<AlarmEvent> AlarmEvaluator::clearTargets(RuleState &state, qint64 timeMs)
{
    QList<AlarmEvent> cleared;
    for (auto it = state.targets.begin(); it != state.targets.end(); ++it) {
        if (!it->active)
            continue;
        AlarmEvent e = it->raised;
        e.kind = AlarmEvent::Kind::Cleared;
        e.timeMs = timeMs;
        e.value = std::numeric_limits<double>::quiet_NaN();
        cleared.append(e);
    }
    std::sort(cleared.begin(), cleared.end(),
              [](const AlarmEvent &a, const AlarmEvent &b) { return a.cell < b.cell; });
    state.targets.clear();
    return cleared;
}

QList<AlarmEvent> AlarmEvaluator::clearAll(qint64 timeMs)
{
    QList<AlarmEvent> cleared;
    for (RuleState &state : m_states) {
        cleared += clearTargets(state, timeMs);
        state.textWarned = false;
    }
    m_fittedCells.clear();
    return cleared;
}

QList<AlarmEvent> AlarmEvaluator::evaluate(const QVariantHash &values, qint64 timeMs)
{
    QList<AlarmEvent> events;
    bool cellsSeen = false;
    for (RuleState &state : m_states) {
        if (!state.rule.enabled)
            continue;
        if (!state.rule.isEveryCell()) {
            const auto it = values.constFind(state.rule.value);
            if (it != values.constEnd())
                evaluateValue(state, it.key(), *it, timeMs, events);
            continue;
        }
        // In cell order, so that events of one frame come out 1, 2, 3 ...
        QList<QPair<int, QString>> cells;
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            const int cell = AlarmCatalogue::cellNumber(it.key());
            if (cell > 0)
                cells.append({cell, it.key()});
        }
        std::sort(cells.begin(), cells.end());
        for (const auto &cell : std::as_const(cells)) {
            const QVariant &raw = values.value(cell.second);
            // A channel that has only ever read 0 has no cell on it (a 13-cell pack on a
            // 16-cell protocol).
            if (!m_fittedCells.contains(cell.second)) {
                bool ok = false;
                const double v = raw.toDouble(&ok);
                if (ok && v == 0.0)
                    continue;
            }
            evaluateValue(state, cell.second, raw, timeMs, events);
        }
        cellsSeen = true;
    }
    if (cellsSeen) {
        for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
            if (AlarmCatalogue::cellNumber(it.key()) > 0 && it->toDouble() != 0.0)
                m_fittedCells.insert(it.key());
        }
    }
    return events;
}

void AlarmEvaluator::evaluateValue(RuleState &state, const QString &key, const QVariant &raw,
                                   qint64 timeMs, QList<AlarmEvent> &events)
{
    if (!raw.isValid() || raw.isNull())
        return;
    bool ok = false;
    const double value = raw.toDouble(&ok);
    if (!ok || std::isnan(value)) {
        if (!state.textWarned) {
            state.textWarned = true;
            qCWarning(lcAlarms).noquote()
                    << QStringLiteral("Alarm rule %1: value %2 is not a number (%3); ignored")
                               .arg(state.rule.name, key, raw.toString());
        }
        return;
    }
    step(state, key, value, timeMs, events);
}

void AlarmEvaluator::step(RuleState &state, const QString &key, double value, qint64 timeMs,
                          QList<AlarmEvent> &events)
{
    const AlarmRule &rule = state.rule;
    Target &t = state.targets[key];

    if (t.active) {
        const bool back = t.raised.side == AlarmEvent::Side::High
                ? value <= rule.high - rule.hysteresis
                : value >= rule.low + rule.hysteresis;
        if (!back)
            return;
        AlarmEvent cleared = t.raised;
        cleared.kind = AlarmEvent::Kind::Cleared;
        cleared.timeMs = timeMs;
        cleared.value = value;
        events.append(cleared);
        t.active = false;
        t.pending = Pending::None;
    }

    Pending now = Pending::None;
    if (rule.hasHigh && value > rule.high)
        now = Pending::High;
    else if (rule.hasLow && value < rule.low)
        now = Pending::Low;

    if (now == Pending::None) {
        t.pending = Pending::None;
        return;
    }
    if (t.pending != now || timeMs < t.since) {
        t.pending = now;
        t.since = timeMs;
        t.frames = 0;
    } else {
        ++t.frames;
    }
    const bool due = rule.delayFrames > 0 ? t.frames >= rule.delayFrames
                                          : double(timeMs - t.since) >= rule.delaySeconds * 1000.0;
    if (!due)
        return;
    t.active = true;
    t.order = ++m_raiseCount;
    t.raised = makeEvent(rule, key,
                         now == Pending::High ? AlarmEvent::Side::High : AlarmEvent::Side::Low,
                         value, timeMs);
    events.append(t.raised);
}

AlarmEvent AlarmEvaluator::makeEvent(const AlarmRule &rule, const QString &key,
                                     AlarmEvent::Side side, double value, qint64 timeMs) const
{
    AlarmEvent e;
    e.kind = AlarmEvent::Kind::Raised;
    e.timeMs = timeMs;
    e.rule = rule.name;
    e.key = key;
    e.cell = AlarmCatalogue::cellNumber(key);
    e.value = value;
    e.side = side;
    e.limit = side == AlarmEvent::Side::High ? rule.high : rule.low;
    e.severity = rule.severity;
    e.text = rule.text;
    const AlarmCatalogue::Entry entry = m_catalogue.entry(key);
    e.label = entry.label;
    e.unit = entry.unit;
    return e;
}

QList<AlarmEvent> AlarmEvaluator::active() const
{
    QList<QPair<qint64, AlarmEvent>> ordered;
    for (const RuleState &state : m_states) {
        for (const Target &t : state.targets) {
            if (t.active)
                ordered.append({t.order, t.raised});
        }
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<AlarmEvent> out;
    out.reserve(ordered.size());
    for (const auto &o : std::as_const(ordered))
        out.append(o.second);
    return out;
}
