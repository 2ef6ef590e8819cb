#include "publish/mqttalarm.h"

#include "alarms/alarmevent.h"

#include <cmath>

MqttAlarm MqttAlarm::fromEvent(const AlarmEvent &event, int language)
{
    MqttAlarm alarm;
    alarm.timeMs = event.timeMs;
    alarm.raised = event.kind == AlarmEvent::Kind::Raised;
    alarm.rule = event.rule;
    alarm.key = event.key;
    alarm.cell = event.cell;
    alarm.severity = event.severity == AlarmRule::Severity::Alarm ? QStringLiteral("alarm")
                                                                  : QStringLiteral("warning");
    // A clear caused by a changed rule carries no value.
    if (!std::isnan(event.value))
        alarm.value = event.value;
    alarm.message = event.message(language);
    return alarm;
}
