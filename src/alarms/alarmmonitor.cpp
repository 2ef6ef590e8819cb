#include "alarms/alarmmonitor.h"

#include "acquisition/sample.h"
#include "alarms/alarmrulefile.h"
#include "alarms/alarmslog.h"
#include "i18n/translations.h"

#include <QDateTime>

namespace {

void setSource(AlarmProblems &problems, const QString &source)
{
    for (AlarmProblem &p : problems)
        p.source = source;
}

} // namespace

AlarmMonitor::AlarmMonitor(QObject *parent) : QObject(parent) { }

void AlarmMonitor::load(const ProtocolConfig &config, const QString &protocolFile,
                        const QString &userFile)
{
    AlarmRuleList defaults = AlarmRuleFile::readProtocolDefaults(protocolFile);
    setSource(defaults.problems, protocolFile);
    AlarmRuleList user = userFile.isEmpty() ? AlarmRuleList() : AlarmRuleFile::readFile(userFile);
    setSource(user.problems, userFile);
    m_defaultProblems = defaults.problems;
    m_userProblems = user.problems;
    m_defaults = defaults.rules;
    m_userRules = user.rules;
    m_evaluator.setCatalogue(AlarmCatalogue::fromProtocol(config));
    apply(AlarmRuleFile::merge(m_defaults, m_userRules), m_defaultProblems + m_userProblems, true);
}

void AlarmMonitor::configure(const AlarmCatalogue &catalogue, const QList<AlarmRule> &defaults,
                             const QList<AlarmRule> &userRules)
{
    m_defaultProblems.clear();
    m_userProblems.clear();
    m_defaults = defaults;
    m_userRules = userRules;
    m_evaluator.setCatalogue(catalogue);
    apply(AlarmRuleFile::merge(m_defaults, m_userRules), AlarmProblems(), true);
}

void AlarmMonitor::setUserRules(const QList<AlarmRule> &userRules)
{
    m_userRules = userRules;
    m_userProblems.clear(); // those of the file's old content
    apply(AlarmRuleFile::merge(m_defaults, m_userRules), m_defaultProblems, false);
}

void AlarmMonitor::apply(const QList<AlarmRule> &merged, AlarmProblems problems, bool clearFirst)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<AlarmEvent> cleared;
    if (clearFirst)
        cleared = m_evaluator.clearAll(now);
    const AlarmRuleList checked = m_evaluator.catalogue().check(merged);
    problems += checked.problems;
    cleared += m_evaluator.setRules(checked.rules, now);
    m_problems = problems;
    // Front ends report these in their own words; the log keeps them for diagnosis.
    for (const AlarmProblem &p : std::as_const(m_problems))
        qCInfo(lcAlarms).noquote()
                << "Alarm rule refused:"
                << (p.source.isEmpty() ? QString() : p.source + QStringLiteral(":"))
                << p.text(English);
    publish(cleared);
    emit rulesChanged();
}

void AlarmMonitor::clearAll()
{
    const QList<AlarmEvent> cleared = m_evaluator.clearAll(QDateTime::currentMSecsSinceEpoch());
    publish(cleared);
}

void AlarmMonitor::processSample(const Sample &sample)
{
    processValues(sample.values, sample.timeMs);
}

void AlarmMonitor::processValues(const QVariantHash &values, qint64 timeMs)
{
    publish(m_evaluator.evaluate(values, timeMs));
}

void AlarmMonitor::publish(const QList<AlarmEvent> &events)
{
    if (events.isEmpty())
        return;
    m_active = m_evaluator.active();
    for (const AlarmEvent &e : events) {
        qCDebug(lcAlarms).noquote() << e.toJson();
        if (e.kind == AlarmEvent::Kind::Raised)
            emit raised(e);
        else
            emit cleared(e);
    }
    emit activeChanged();
}

QString AlarmMonitor::activeShortNames() const
{
    QStringList names;
    names.reserve(m_active.size());
    for (const AlarmEvent &e : m_active)
        names.append(e.shortName());
    return names.join(QLatin1Char(' '));
}

QStringList AlarmMonitor::activeFields() const
{
    QStringList fields;
    const AlarmCatalogue catalogue = m_evaluator.catalogue();
    for (const AlarmEvent &e : m_active) {
        const QString field = catalogue.entry(e.key).field;
        if (!field.isEmpty() && !fields.contains(field))
            fields.append(field);
    }
    return fields;
}
