#include "alarms/alarmrulefile.h"

#include "alarms/alarmslog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Kind = AlarmProblem::Kind;

const QString kAlarms = QStringLiteral("alarms");
const QString kName = QStringLiteral("name");
const QString kValue = QStringLiteral("value");
const QString kHigh = QStringLiteral("high");
const QString kLow = QStringLiteral("low");
const QString kHysteresis = QStringLiteral("hysteresis");
const QString kDelaySeconds = QStringLiteral("delaySeconds");
const QString kDelayFrames = QStringLiteral("delayFrames");
const QString kSeverity = QStringLiteral("severity");
const QString kText = QStringLiteral("text");
const QString kEnabled = QStringLiteral("enabled");

bool isKnownMember(const QString &key)
{
    static const QSet<QString> known{kName,         kValue,       kHigh,     kLow,  kHysteresis,
                                     kDelaySeconds, kDelayFrames, kSeverity, kText, kEnabled};
    // Members starting with "_" are the file's comments.
    return known.contains(key) || key.startsWith(QLatin1Char('_'));
}

AlarmProblem fileProblem(Kind kind, const QString &detail = QString())
{
    AlarmProblem p;
    p.kind = kind;
    p.detail = detail;
    return p;
}

} // namespace

AlarmRuleList AlarmRuleFile::ruleFromJson(const QJsonObject &object, int index)
{
    AlarmRule rule;
    QList<QPair<Kind, QString>> found;
    auto problem = [&found](Kind kind, const QString &detail = QString()) {
        found.append({kind, detail});
    };

    const QJsonValue name = object.value(kName);
    if (name.isString())
        rule.name = name.toString().trimmed();
    else if (!name.isUndefined())
        problem(Kind::WrongType, kName);
    if (rule.name.isEmpty() && (name.isUndefined() || name.isString()))
        problem(Kind::MissingName);

    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!isKnownMember(it.key()))
            problem(Kind::UnknownField, it.key());
    }

    auto text = [&](const QString &key, QString *out) {
        const QJsonValue v = object.value(key);
        if (v.isUndefined())
            return;
        if (v.isString())
            *out = v.toString().trimmed();
        else
            problem(Kind::WrongType, key);
    };
    auto number = [&](const QString &key, double *out) {
        const QJsonValue v = object.value(key);
        if (v.isUndefined())
            return false;
        if (!v.isDouble()) {
            problem(Kind::NotANumber, key);
            return false;
        }
        *out = v.toDouble();
        return true;
    };

    text(kValue, &rule.value);
    text(kText, &rule.text);
    const QJsonValue enabled = object.value(kEnabled);
    if (enabled.isBool())
        rule.enabled = enabled.toBool();
    else if (!enabled.isUndefined())
        problem(Kind::WrongType, kEnabled);

    const QJsonValue severity = object.value(kSeverity);
    if (severity.isString()) {
        const QString s = severity.toString().trimmed().toLower();
        if (s == QLatin1String("warning"))
            rule.severity = AlarmRule::Severity::Warning;
        else if (s == QLatin1String("alarm"))
            rule.severity = AlarmRule::Severity::Alarm;
        else
            problem(Kind::UnknownSeverity, severity.toString());
    } else if (!severity.isUndefined()) {
        problem(Kind::WrongType, kSeverity);
    }

    rule.hasHigh = number(kHigh, &rule.high);
    rule.hasLow = number(kLow, &rule.low);
    number(kHysteresis, &rule.hysteresis);
    number(kDelaySeconds, &rule.delaySeconds);
    double frames = 0.0;
    if (number(kDelayFrames, &frames)) {
        if (frames < 0.0)
            problem(Kind::NegativeDelay);
        else if (frames != std::floor(frames) || frames > std::numeric_limits<int>::max())
            problem(Kind::FractionalFrames);
        else
            rule.delayFrames = int(frames);
    }

    const bool switchOff = !rule.enabled && !object.contains(kValue);
    if (!switchOff) {
        // A value of the wrong type is reported as such already.
        if (rule.value.isEmpty() && (!object.contains(kValue) || object.value(kValue).isString()))
            problem(Kind::MissingValue);
        const bool numbersRead = !std::any_of(found.cbegin(), found.cend(), [](const auto &p) {
            return p.first == Kind::NotANumber;
        });
        if (!rule.hasHigh && !rule.hasLow && numbersRead)
            problem(Kind::NoLimit);
        if (rule.hasHigh && rule.hasLow && rule.low > rule.high)
            problem(Kind::LowAboveHigh);
        if (rule.hysteresis < 0.0)
            problem(Kind::NegativeHysteresis);
        if (rule.delaySeconds < 0.0)
            problem(Kind::NegativeDelay);
        if (rule.delaySeconds > 0.0 && rule.delayFrames > 0)
            problem(Kind::BothDelays);
    }

    AlarmRuleList out;
    const QString id = rule.name.isEmpty() ? QStringLiteral("#%1").arg(index + 1) : rule.name;
    for (const auto &p : std::as_const(found)) {
        AlarmProblem ap;
        ap.rule = id;
        ap.index = index;
        ap.kind = p.first;
        ap.detail = p.second;
        out.problems.append(ap);
    }
    if (out.problems.isEmpty())
        out.rules.append(rule);
    return out;
}

AlarmRuleList AlarmRuleFile::fromJson(const QJsonArray &array)
{
    AlarmRuleList out;
    QSet<QString> names;
    for (int i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        if (!element.isObject()) {
            AlarmProblem p;
            p.rule = QStringLiteral("#%1").arg(i + 1);
            p.index = i;
            p.kind = Kind::NotAnObject;
            out.problems.append(p);
            continue;
        }
        AlarmRuleList one = ruleFromJson(element.toObject(), i);
        const QString name = element.toObject().value(kName).toString().trimmed();
        if (!name.isEmpty()) {
            if (names.contains(name)) {
                AlarmProblem p;
                p.rule = name;
                p.index = i;
                p.kind = Kind::DuplicateName;
                one.problems.prepend(p);
                one.rules.clear();
            }
            names.insert(name);
        }
        out.rules += one.rules;
        out.problems += one.problems;
    }
    return out;
}

AlarmRuleList AlarmRuleFile::fromFileContent(const QByteArray &content)
{
    AlarmRuleList out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError) {
        out.problems.append(
                fileProblem(Kind::NotJson,
                            QStringLiteral("%1 (%2)").arg(error.errorString()).arg(error.offset)));
        return out;
    }
    if (doc.isArray())
        return fromJson(doc.array());
    const QJsonValue alarms = doc.object().value(kAlarms);
    if (!doc.isObject() || !alarms.isArray()) {
        out.problems.append(fileProblem(Kind::NotAnArray));
        return out;
    }
    return fromJson(alarms.toArray());
}

AlarmRuleList AlarmRuleFile::readFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return AlarmRuleList();
    if (!file.open(QIODevice::ReadOnly)) {
        AlarmRuleList out;
        out.problems.append(fileProblem(Kind::Unreadable, file.errorString()));
        return out;
    }
    return fromFileContent(file.readAll());
}

AlarmRuleList AlarmRuleFile::protocolDefaults(const QJsonObject &protocolObject)
{
    const QJsonValue alarms = protocolObject.value(kAlarms);
    if (alarms.isUndefined())
        return AlarmRuleList();
    if (!alarms.isArray()) {
        AlarmRuleList out;
        out.problems.append(fileProblem(Kind::NotAnArray));
        return out;
    }
    return fromJson(alarms.toArray());
}

AlarmRuleList AlarmRuleFile::readProtocolDefaults(const QString &protocolPath)
{
    QFile file(protocolPath);
    if (!file.open(QIODevice::ReadOnly))
        return AlarmRuleList();
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    const QJsonValue protocol = doc.object().value(QStringLiteral("protocol"));
    if (!protocol.isObject())
        return AlarmRuleList();
    return protocolDefaults(protocol.toObject());
}

QJsonObject AlarmRuleFile::toJson(const AlarmRule &rule)
{
    QJsonObject o{{kName, rule.name}};
    if (rule.isSwitchOff()) {
        o.insert(kEnabled, false);
        return o;
    }
    o.insert(kValue, rule.value);
    if (rule.hasHigh)
        o.insert(kHigh, rule.high);
    if (rule.hasLow)
        o.insert(kLow, rule.low);
    if (rule.hysteresis != 0.0)
        o.insert(kHysteresis, rule.hysteresis);
    if (rule.delaySeconds != 0.0)
        o.insert(kDelaySeconds, rule.delaySeconds);
    if (rule.delayFrames != 0)
        o.insert(kDelayFrames, rule.delayFrames);
    o.insert(kSeverity, AlarmRule::severityName(rule.severity));
    if (!rule.text.isEmpty())
        o.insert(kText, rule.text);
    if (!rule.enabled)
        o.insert(kEnabled, false);
    return o;
}

QJsonArray AlarmRuleFile::toJson(const QList<AlarmRule> &rules)
{
    QJsonArray array;
    for (const AlarmRule &rule : rules)
        array.append(toJson(rule));
    return array;
}

bool AlarmRuleFile::writeFile(const QString &path, const QList<AlarmRule> &rules, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(info.absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QJsonObject root{{kAlarms, toJson(rules)}};
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        qCWarning(lcAlarms) << "Cannot write alarm rules to" << path << file.errorString();
        return false;
    }
    return true;
}

QList<AlarmRule> AlarmRuleFile::merge(const QList<AlarmRule> &defaults,
                                      const QList<AlarmRule> &user)
{
    QList<AlarmRule> merged = defaults;
    for (const AlarmRule &rule : user) {
        const auto it = std::find_if(merged.begin(), merged.end(),
                                     [&rule](const AlarmRule &d) { return d.name == rule.name; });
        if (it != merged.end()) {
            if (rule.isSwitchOff())
                it->enabled = false;
            else
                *it = rule;
        } else if (!rule.isSwitchOff()) {
            merged.append(rule);
        }
    }
    return merged;
}

QList<AlarmRule> AlarmRuleFile::overrides(const QList<AlarmRule> &defaults,
                                          const QList<AlarmRule> &edited)
{
    QList<AlarmRule> out;
    for (const AlarmRule &rule : edited) {
        const auto it = std::find_if(defaults.cbegin(), defaults.cend(),
                                     [&rule](const AlarmRule &d) { return d.name == rule.name; });
        if (it == defaults.cend() || *it != rule)
            out.append(rule);
    }
    for (const AlarmRule &d : defaults) {
        const bool kept = std::any_of(edited.cbegin(), edited.cend(),
                                      [&d](const AlarmRule &e) { return e.name == d.name; });
        if (!kept) {
            AlarmRule off;
            off.name = d.name;
            off.enabled = false;
            out.append(off);
        }
    }
    return out;
}

QString AlarmRuleFile::userFilePath()
{
    // Beside the application's settings, shared by the window and the recorder whatever their
    // application names. Where the settings live in the registry, in the configuration folder.
    const QString settings =
            QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).fileName();
    const QString name = QStringLiteral("BV-BMS-alarms.json");
    if (!settings.startsWith(QLatin1String("\\HKEY")))
        return QDir(QFileInfo(settings).absolutePath()).filePath(name);
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(base).filePath(QStringLiteral("TRBMS/") + name);
}
