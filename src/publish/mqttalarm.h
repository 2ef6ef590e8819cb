#pragma once

#include <QString>
#include <QVariant>

struct AlarmEvent;

// One alarm raised or cleared, as published on <prefix>/<pack>/alarm.
struct MqttAlarm
{
    qint64 timeMs = 0; // UTC milliseconds since the epoch
    bool raised = true; // false: cleared
    QString rule; // the rule's name
    QString key; // the value it watches, e.g. "Vcell12"
    int cell = 0; // 1-based cell the alarm names; 0 when it names none
    QString severity; // "warning" or "alarm"
    QVariant value; // the value that raised or cleared it
    QString message; // the alarm's text, in the publisher's language

    // What an alarm monitor's event publishes, its message in the language given.
    static MqttAlarm fromEvent(const AlarmEvent &event, int language);
};
