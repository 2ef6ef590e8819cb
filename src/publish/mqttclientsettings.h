#pragma once

#include "publish/mqtturl.h"

#include <QString>

// What one broker connection runs with.
struct MqttClientSettings
{
    MqttUrl url;
    QString caFile; // mqtts: the CA certificate(s) to trust; empty: the system's
    QString clientId; // empty: one is made up
    // Retained "offline" as the will and "online" on every connect; empty: none.
    QString statusTopic;
    int keepAliveSeconds = 30;
    int connectTimeoutMs = 10000; // an attempt without an answer is given up after this
    // Waits between attempts: doubled after each failure from the first to the last.
    int retryFirstMs = 1000;
    int retryLastMs = 30000;
};
