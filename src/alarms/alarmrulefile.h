#pragma once

#include "alarms/alarmproblem.h"
#include "alarms/alarmrule.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// Rules read from JSON, with the reasons for every entry that was refused. The entries that
// were accepted are usable whatever happened to the others.
struct AlarmRuleList
{
    QList<AlarmRule> rules;
    AlarmProblems problems;
};

// Reading, writing and merging rule lists: the "alarms" array of a protocol file (its defaults)
// and the user's own rules file, which overrides defaults by rule name.
class AlarmRuleFile
{
public:
    // The rules of an "alarms" array. Every element is checked on its own.
    static AlarmRuleList fromJson(const QJsonArray &array);
    // One element; problems name it by name, or by its position (index from 0) without one.
    static AlarmRuleList ruleFromJson(const QJsonObject &object, int index);

    // A rules file: an object with an "alarms" array, or the bare array. A file that does not
    // exist holds no rules and is no problem.
    static AlarmRuleList readFile(const QString &path);
    static AlarmRuleList fromFileContent(const QByteArray &content);

    // The default rules of a protocol file: the "alarms" array of its "protocol" object. A file
    // that is not a protocol file gives none (the protocol loader reports it).
    static AlarmRuleList readProtocolDefaults(const QString &protocolPath);
    static AlarmRuleList protocolDefaults(const QJsonObject &protocolObject);

    static QJsonObject toJson(const AlarmRule &rule);
    static QJsonArray toJson(const QList<AlarmRule> &rules);
    // Writes {"alarms": [...]} in one piece (the old file stays whole if the write fails).
    static bool writeFile(const QString &path, const QList<AlarmRule> &rules, QString *error);

    // The defaults with each user rule replacing the default of the same name in place, then
    // the user's other rules in their order. A switch-off entry disables its default.
    static QList<AlarmRule> merge(const QList<AlarmRule> &defaults, const QList<AlarmRule> &user);
    // What the user's file must hold so that merging it over the defaults gives the edited list:
    // the rules that differ from their default, and a switch-off for each default left out.
    static QList<AlarmRule> overrides(const QList<AlarmRule> &defaults,
                                      const QList<AlarmRule> &edited);

    // The user's rules file, in the settings directory.
    static QString userFilePath();
};
