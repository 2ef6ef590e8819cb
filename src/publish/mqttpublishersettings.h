#pragma once

#include "publish/mqtttopics.h"
#include "publish/mqtturl.h"

#include <QString>

// What publishing one pack to a broker runs with; the recorder's options and the window's
// dialog fill it.
struct MqttPublisherSettings
{
    MqttUrl url;
    QString caFile;
    QString prefix = QString::fromLatin1(MqttTopics::DefaultPrefix);
    QString packId;
    int qos = 0; // of the state messages: 0 or 1
    double everySeconds = 0; // at most one state message per this many seconds; 0: every frame
    bool homeAssistant = true; // announce the sensors for Home Assistant's discovery
    int language = 0; // of the work state text and the sensor names
    // "online"/"offline" (the will) on the status topic. Off for a run that only removes the
    // pack from Home Assistant and leaves nothing retained behind.
    bool status = true;
    // Connection timing; the defaults suit a real broker.
    int connectTimeoutMs = 10000;
    int retryFirstMs = 1000;
    int retryLastMs = 30000;
};
