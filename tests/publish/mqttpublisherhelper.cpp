// Publishes one pack until it is killed: tst_mqttbroker kills it with SIGKILL to see the will.
// Usage: mqtt_publisher_helper URL PACK-ID; prints "connected" once the broker has it.

#include "publish/mqttpublisher.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 1;
    MqttPublisherSettings settings;
    settings.url = MqttUrl::parse(args.at(1));
    settings.packId = args.at(2);
    settings.homeAssistant = false;
    MqttPublisher publisher;
    QObject::connect(&publisher, &MqttPublisher::connected, [] {
        std::puts("connected");
        std::fflush(stdout);
    });
    if (!publisher.start(settings)) {
        std::fprintf(stderr, "%s\n", qPrintable(publisher.lastError()));
        return 1;
    }
    return app.exec();
}
