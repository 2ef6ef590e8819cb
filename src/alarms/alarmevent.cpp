#include "alarms/alarmevent.h"

#include "i18n/translations.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>

namespace {

// The shortest text that reads back as the same value, as the table writes reals.
QString number(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString withUnit(double v, const QString &unit)
{
    if (std::isnan(v))
        return QString();
    return unit.isEmpty() ? number(v) : number(v) + QLatin1Char(' ') + unit;
}

} // namespace

QString AlarmEvent::kindName(Kind kind)
{
    return kind == Kind::Raised ? QStringLiteral("alarm-raised") : QStringLiteral("alarm-cleared");
}

QString AlarmEvent::message(int language) const
{
    auto tr = [language](const char *chinese, const char *english) {
        return translateOr(language, QString::fromUtf8(chinese), QString::fromUtf8(english));
    };
    if (cell > 0) {
        if (!text.isEmpty())
            return tr("电芯%1 %2", "Cell %1 %2").arg(QString::number(cell), text);
        return (side == Side::High ? tr("电芯%1 过压", "Cell %1 overvoltage")
                                   : tr("电芯%1 欠压", "Cell %1 undervoltage"))
                .arg(cell);
    }
    if (!text.isEmpty())
        return text;
    const QString caption = label.isEmpty() ? key : label;
    const QString shown = translateWithUnit(language, caption);
    return (side == Side::High ? tr("%1 过高", "%1 too high") : tr("%1 过低", "%1 too low"))
            .arg(shown);
}

QString AlarmEvent::severityText(AlarmRule::Severity severity, int language)
{
    return severity == AlarmRule::Severity::Alarm
            ? translateOr(language, QStringLiteral("告警"), QStringLiteral("Alarm"))
            : translateOr(language, QStringLiteral("警告"), QStringLiteral("Warning"));
}

QString AlarmEvent::kindText(int language) const
{
    return kind == Kind::Raised
            ? translateOr(language, QStringLiteral("触发"), QStringLiteral("Raised"))
            : translateOr(language, QStringLiteral("恢复"), QStringLiteral("Cleared"));
}

QString AlarmEvent::valueText() const
{
    return withUnit(value, unit);
}

QString AlarmEvent::limitText() const
{
    return withUnit(limit, unit);
}

QString AlarmEvent::shortName() const
{
    return cell > 0 ? QStringLiteral("%1(%2)").arg(rule).arg(cell) : rule;
}

QString AlarmEvent::toJson() const
{
    QJsonObject o{
            {QStringLiteral("kind"), kindName()},
            {QStringLiteral("rule"), rule},
            {QStringLiteral("key"), key},
            {QStringLiteral("limit"), limit},
            {QStringLiteral("side"),
             side == Side::High ? QStringLiteral("high") : QStringLiteral("low")},
            {QStringLiteral("severity"), AlarmRule::severityName(severity)},
            {QStringLiteral("message"), message(Chinese)},
    };
    if (cell > 0)
        o.insert(QStringLiteral("cell"), cell);
    if (!std::isnan(value))
        o.insert(QStringLiteral("value"), value);
    if (!unit.isEmpty())
        o.insert(QStringLiteral("unit"), unit);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}
