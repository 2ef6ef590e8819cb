#pragma once

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmevaluator.h"
#include "alarms/alarmevent.h"
#include "alarms/alarmproblem.h"
#include "alarms/alarmrule.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantHash>

class ProtocolConfig;
struct Sample;

// Watches the decoded frames of one pack for the user's alarm rules: raises and clears alarms
// and keeps the set of active ones, for every consumer alike (window, recorder, recordings,
// publishing).
class AlarmMonitor : public QObject
{
    Q_OBJECT

public:
    explicit AlarmMonitor(QObject *parent = nullptr);

    // The rules for a protocol: its file's defaults with the user's rules file over them, kept
    // where the protocol carries their values. Clears every active alarm first. An empty
    // userFile reads no user rules; a missing one is no problem.
    void load(const ProtocolConfig &config, const QString &protocolFile, const QString &userFile);
    // The same from rule lists already read.
    void configure(const AlarmCatalogue &catalogue, const QList<AlarmRule> &defaults,
                   const QList<AlarmRule> &userRules);
    // New user rules (the settings dialog's): applied at once; alarms of unchanged rules stay.
    void setUserRules(const QList<AlarmRule> &userRules);

    AlarmCatalogue catalogue() const { return m_evaluator.catalogue(); }
    QList<AlarmRule> defaultRules() const { return m_defaults; }
    QList<AlarmRule> userRules() const { return m_userRules; }
    // The rules in force (merged, and carried by the protocol), disabled ones included.
    QList<AlarmRule> rules() const { return m_evaluator.rules(); }
    // Why rules or files were refused at the last load or change.
    AlarmProblems problems() const { return m_problems; }

    // The active alarms as the events that raised them, oldest first.
    QList<AlarmEvent> activeAlarms() const { return m_active; }
    int activeCount() const { return int(m_active.size()); }
    // The active alarms' short names, space-separated: the table's alarm column.
    QString activeShortNames() const;
    // Main-window value fields (data_<key>) of the values with an active alarm.
    QStringList activeFields() const;

    // Clears every active alarm (at the current time).
    void clearAll();

public slots:
    void processSample(const Sample &sample);
    void processValues(const QVariantHash &values, qint64 timeMs);

signals:
    void raised(const AlarmEvent &event);
    void cleared(const AlarmEvent &event);
    // The active set changed (after the raised and cleared signals of one frame or change).
    void activeChanged();
    // The rules in force or the problems changed.
    void rulesChanged();

private:
    void apply(const QList<AlarmRule> &merged, AlarmProblems problems, bool clearFirst);
    void publish(const QList<AlarmEvent> &events);

    AlarmEvaluator m_evaluator;
    QList<AlarmRule> m_defaults;
    QList<AlarmRule> m_userRules;
    AlarmProblems m_problems;
    AlarmProblems m_defaultProblems;
    AlarmProblems m_userProblems;
    QList<AlarmEvent> m_active;
};
