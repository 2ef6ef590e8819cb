#include "dialogs/mqttpublishoptions.h"

QString MqttPublishOptions::toPublisherSettings(const QString &port, int language,
                                                MqttPublisherSettings &settings) const
{
    QString error;
    settings.url = MqttUrl::parse(url, &error);
    if (!settings.url.isValid())
        return error;
    if (!password.isEmpty())
        settings.url.setPassword(password);
    settings.caFile = caFile.trimmed();
    settings.prefix = prefix.trimmed();
    settings.packId =
            packId.trimmed().isEmpty() ? MqttTopics::packIdForPort(port) : packId.trimmed();
    settings.qos = qos;
    settings.everySeconds = everySeconds;
    settings.homeAssistant = homeAssistant;
    settings.language = language;
    return QString();
}
