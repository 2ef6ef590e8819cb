#pragma once

#include "publish/mqttpublishersettings.h"

#include <QString>

// The window's publishing settings as the MQTT dialog edits them and the settings keep them.
struct MqttPublishOptions
{
    bool enabled = false;
    QString url; // without the password
    QString password;
    QString caFile;
    QString prefix = QString::fromLatin1(MqttTopics::DefaultPrefix);
    QString packId; // empty: from the port
    int qos = 0;
    double everySeconds = 0;
    bool homeAssistant = true;

    // The publisher's settings for a run on this port; an error text (in English, for the
    // details of a message) when the URL does not parse.
    QString toPublisherSettings(const QString &port, int language,
                                MqttPublisherSettings &settings) const;
};
