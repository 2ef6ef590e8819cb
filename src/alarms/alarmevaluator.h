#pragma once

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmevent.h"
#include "alarms/alarmrule.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantHash>

// Evaluates alarm rules frame by frame on value maps; keeps, for every rule and value, whether
// the condition is pending (waiting out the delay) or active.
//
// A high alarm raises when the value is above the limit for the rule's delay, and clears on the
// first frame whose value is at or below the limit minus the hysteresis; a low alarm likewise
// mirrored. A value missing from a frame, or one that is a text, leaves the state as it was.
// Every-cell rules take Vcell1..VcellN as the frame carries them; a cell channel that has read
// 0 ever since the start counts as not fitted and is left out.
class AlarmEvaluator
{
public:
    // Captions and units for the events; optional.
    void setCatalogue(const AlarmCatalogue &catalogue) { m_catalogue = catalogue; }
    const AlarmCatalogue &catalogue() const { return m_catalogue; }

    // Takes a new rule list (disabled rules are kept but not evaluated). Rules that stay the
    // same keep their state; the active alarms of rules changed or gone are cleared, returned
    // as events at timeMs without a value.
    QList<AlarmEvent> setRules(const QList<AlarmRule> &rules, qint64 timeMs);
    QList<AlarmRule> rules() const;

    // One frame: the events it raises and clears, in rule order.
    QList<AlarmEvent> evaluate(const QVariantHash &values, qint64 timeMs);

    // The active alarms as the events that raised them, oldest first.
    QList<AlarmEvent> active() const;

    // Clears every active alarm (returned as events without a value) and forgets all state.
    QList<AlarmEvent> clearAll(qint64 timeMs);

private:
    enum class Pending { None, High, Low };
    struct Target
    {
        Pending pending = Pending::None;
        qint64 since = 0; // frame time the pending condition started
        int frames = 0; // consecutive frames it has held
        bool active = false;
        qint64 order = 0; // raise order among active alarms
        AlarmEvent raised;
    };
    struct RuleState
    {
        AlarmRule rule;
        QHash<QString, Target> targets; // by value key
        bool textWarned = false;
    };

    void evaluateValue(RuleState &state, const QString &key, const QVariant &raw, qint64 timeMs,
                       QList<AlarmEvent> &events);
    void step(RuleState &state, const QString &key, double value, qint64 timeMs,
              QList<AlarmEvent> &events);
    AlarmEvent makeEvent(const AlarmRule &rule, const QString &key, AlarmEvent::Side side,
                         double value, qint64 timeMs) const;
    static QList<AlarmEvent> clearTargets(RuleState &state, qint64 timeMs);

    AlarmCatalogue m_catalogue;
    QList<RuleState> m_states;
    QSet<QString> m_fittedCells;
    qint64 m_raiseCount = 0;
};
