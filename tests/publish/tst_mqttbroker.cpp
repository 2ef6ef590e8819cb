#include "publish/mqttpublisher.h"

#include "mqtttestsupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

// The publisher against a real mosquitto broker on loopback, read back by a subscriber.
class tst_MqttBroker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stateMessagePerFrame_data();
    void stateMessagePerFrame();
    void framesBeforeTheFirstConnectAreKept();
    void throttle();
    void discoveryIsRetainedAndRemovable();
    void alarmsRaiseAndClear();
    void statusOnlineThenOfflineOnStop();
    void willSaysOfflineWhenKilled();
    void brokerOutage();
    void settingsThatCannotWork_data();
    void settingsThatCannotWork();
    void unreachableBrokerCostsNothing_data();
    void unreachableBrokerCostsNothing();
    void credentials();
    void tls();

private:
    MqttPublisherSettings settingsFor(const TestBroker &broker, const QString &pack) const
    {
        MqttPublisherSettings settings;
        settings.url = MqttUrl::parse(broker.url());
        settings.packId = pack;
        settings.language = 1;
        settings.retryFirstMs = 100;
        settings.retryLastMs = 400;
        return settings;
    }
};

void tst_MqttBroker::initTestCase()
{
    if (TestBroker::program().isEmpty())
        QSKIP("mosquitto is not installed (Debian: mosquitto)");
}

void tst_MqttBroker::stateMessagePerFrame_data()
{
    QTest::addColumn<int>("qos");
    QTest::newRow("qos 0") << 0;
    QTest::newRow("qos 1") << 1;
}

void tst_MqttBroker::stateMessagePerFrame()
{
    QFETCH(int, qos);
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/#")}, 1));

    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    MqttPublisherSettings settings = settingsFor(broker, QStringLiteral("rack1"));
    settings.qos = qos;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY2(publisher.start(settings), qPrintable(publisher.lastError()));
    QTRY_COMPARE(connected.count(), 1);

    QList<Sample> sent;
    for (int i = 0; i < 25; ++i) {
        sent.append(maker.make(i, 1767225600000 + i * 200));
        AcquisitionStats stats;
        stats.requestsSent = stats.framesReceived = i + 1;
        publisher.publishSample(sent.last(), stats);
    }
    const QString state = QStringLiteral("cellscribe/rack1/state");
    QTRY_COMPARE(subscriber.count(state), 25);
    const QList<ReceivedMessage> received = subscriber.messages(state);
    for (int i = 0; i < received.size(); ++i) {
        const ReceivedMessage &message = received.at(i);
        QCOMPARE(message.qos, qos);
        QVERIFY(!message.retained);
        const QJsonObject json = message.json();
        QCOMPARE(json.value(QStringLiteral("time")).toString(),
                 StatePayload::isoUtc(sent.at(i).timeMs));
        QCOMPARE(json.value(QStringLiteral("link")).toObject().value("framesReceived").toInt(),
                 i + 1);
        const QJsonObject values = json.value(QStringLiteral("values")).toObject();
        for (const char *key : {"Vcell1", "Vcell16", "data_totalv", "data_current", "soc"})
            QCOMPARE(values.value(QLatin1String(key)).toDouble(),
                     sent.at(i).values.value(QLatin1String(key)).toDouble());
        QCOMPARE(json.value(QStringLiteral("workState")).toString(), QStringLiteral("Charging"));
    }
    QCOMPARE(publisher.publishedCount(), 25);
    QCOMPARE(publisher.droppedCount(), 0);
    QCOMPARE(subscriber.last(QStringLiteral("cellscribe/rack1/status")), QByteArray("online"));
}

void tst_MqttBroker::framesBeforeTheFirstConnectAreKept()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/state")}));
    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    QVERIFY(publisher.start(settingsFor(broker, QStringLiteral("early"))));
    // A run's first answers come before the broker has answered the connect.
    QVERIFY(!publisher.isConnected());
    for (int i = 0; i < 5; ++i)
        publisher.publishSample(maker.make(i, 1767225600000 + i), {});
    QTRY_COMPARE(subscriber.count(QStringLiteral("cellscribe/early/state")), 5);
    QCOMPARE(subscriber.messages().first().json().value("time").toString(),
             QStringLiteral("2026-01-01T00:00:00.000Z"));
    QCOMPARE(publisher.publishedCount(), 5);
    QCOMPARE(publisher.droppedCount(), 0);
}

void tst_MqttBroker::throttle()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/state")}));

    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    MqttPublisherSettings settings = settingsFor(broker, QStringLiteral("slow"));
    settings.everySeconds = 1;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settings));
    QTRY_COMPARE(connected.count(), 1);

    // Five frames a second for 6 s, each a few ms early or late: one message a second, no drift.
    const qint64 start = 1767225600000;
    QList<qint64> times;
    for (int i = 0; i < 30; ++i)
        times.append(start + i * 200 + (i % 3 == 0 ? -3 : i % 3 == 1 ? 4 : 0));
    for (qint64 t : times)
        publisher.publishSample(maker.make(1, t), {});
    QTRY_COMPARE(subscriber.count(QStringLiteral("cellscribe/slow/state")), 6);
    QTest::qWait(200);
    const QList<ReceivedMessage> received = subscriber.messages();
    QCOMPARE(received.size(), 6);
    for (int i = 0; i < received.size(); ++i)
        QCOMPARE(received.at(i).json().value("time").toString(),
                 StatePayload::isoUtc(times.at(i * 5)));
}

void tst_MqttBroker::discoveryIsRetainedAndRemovable()
{
    TestBroker broker;
    QVERIFY(broker.start());
    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settingsFor(broker, QStringLiteral("rack1"))));
    QTRY_COMPARE(connected.count(), 1);
    const int sensors = int(publisher.announcedSensors().size());
    QVERIFY(sensors > 40);

    // A subscriber that comes later (Home Assistant starting up) gets every config, retained.
    const QString filter = QStringLiteral("homeassistant/sensor/cellscribe_rack1/+/config");
    {
        TestSubscriber late;
        QVERIFY(late.subscribe(broker.port(), {filter}));
        QTRY_COMPARE(late.messages().size(), sensors);
        for (const ReceivedMessage &message : late.messages()) {
            QVERIFY(message.retained);
            QVERIFY(!message.json().value(QStringLiteral("unique_id")).toString().isEmpty());
        }
    }

    QSignalSpy removed(&publisher, &MqttPublisher::discoveryRemoved);
    publisher.removeDiscovery();
    QCOMPARE(removed.count(), 1);
    publisher.stop();
    TestSubscriber after;
    QVERIFY(after.subscribe(broker.port(), {filter}));
    QTest::qWait(300);
    QVERIFY(after.messages().isEmpty());
}

void tst_MqttBroker::alarmsRaiseAndClear()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/alarm")}, 1));
    MqttPublisher publisher;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settingsFor(broker, QStringLiteral("rack1"))));
    QTRY_COMPARE(connected.count(), 1);

    MqttAlarm alarm;
    alarm.timeMs = 1767225600000;
    alarm.rule = QStringLiteral("cell-high");
    alarm.key = QStringLiteral("Vcell12");
    alarm.cell = 12;
    alarm.severity = QStringLiteral("alarm");
    alarm.value = 3700.0;
    alarm.message = QStringLiteral("Cell 12 overvoltage");
    publisher.publishAlarm(alarm);
    alarm.raised = false;
    alarm.timeMs += 20000;
    alarm.value = 3400.0;
    publisher.publishAlarm(alarm);

    QTRY_COMPARE(subscriber.messages().size(), 2);
    const QJsonObject raised = subscriber.messages().at(0).json();
    const QJsonObject cleared = subscriber.messages().at(1).json();
    QCOMPARE(subscriber.messages().at(0).qos, 1);
    QCOMPARE(raised.value("event").toString(), QStringLiteral("raised"));
    QCOMPARE(cleared.value("event").toString(), QStringLiteral("cleared"));
    QCOMPARE(raised.value("cell").toInt(), 12);
    QCOMPARE(raised.value("value").toDouble(), 3700.0);
    QCOMPARE(raised.value("rule").toString(), QStringLiteral("cell-high"));
    QCOMPARE(raised.value("pack").toString(), QStringLiteral("rack1"));
    QCOMPARE(cleared.value("time").toString(), QStringLiteral("2026-01-01T00:00:20.000Z"));
}

void tst_MqttBroker::statusOnlineThenOfflineOnStop()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/status")}));
    MqttPublisher publisher;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settingsFor(broker, QStringLiteral("p1"))));
    QTRY_COMPARE(connected.count(), 1);
    QTRY_COMPARE(subscriber.last(QStringLiteral("cellscribe/p1/status")), QByteArray("online"));
    publisher.stop();
    QTRY_COMPARE(subscriber.last(QStringLiteral("cellscribe/p1/status")), QByteArray("offline"));

    // Retained: whoever looks later sees the pack offline.
    TestSubscriber later;
    QVERIFY(later.subscribe(broker.port(), {QStringLiteral("cellscribe/p1/status")}));
    QTRY_COMPARE(later.last(QStringLiteral("cellscribe/p1/status")), QByteArray("offline"));
    QVERIFY(later.messages().first().retained);
}

void tst_MqttBroker::willSaysOfflineWhenKilled()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/status")}, 1));

    QProcess helper;
    helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mqtt_publisher_helper"),
                 {broker.url(), QStringLiteral("killed")});
    QVERIFY(helper.waitForStarted(5000));
    QVERIFY(QTest::qWaitFor([&] { return helper.readAll().contains("connected"); }, 10000));
    const QString status = QStringLiteral("cellscribe/killed/status");
    QTRY_COMPARE(subscriber.last(status), QByteArray("online"));
    helper.kill(); // SIGKILL: no goodbye, the broker sends the will
    QVERIFY(helper.waitForFinished(5000));
    QTRY_COMPARE(subscriber.last(status), QByteArray("offline"));
    QCOMPARE(subscriber.messages(status).last().qos, 1);
}

void tst_MqttBroker::brokerOutage()
{
    TestBroker broker;
    QVERIFY(broker.start());
    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QSignalSpy lost(&publisher, &MqttPublisher::connectionLost);
    QSignalSpy dropped(&publisher, &MqttPublisher::droppedWhileDisconnected);
    QVERIFY(publisher.start(settingsFor(broker, QStringLiteral("rack1"))));
    QTRY_COMPARE(connected.count(), 1);

    // A frame every 100 ms throughout; the broker is away for 5 s in the middle.
    int frames = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        publisher.publishSample(maker.make(frames, QDateTime::currentMSecsSinceEpoch()), {});
        ++frames;
    });
    poll.start(100);
    QTest::qWait(500);
    broker.stop();
    QTRY_COMPARE(lost.count(), 1);
    QElapsedTimer outage;
    outage.start();
    QTest::qWait(5000);
    QVERIFY(broker.start());
    // Published again: a fresh broker (nothing kept) gets the status and discovery again.
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(
            broker.port(),
            {QStringLiteral("cellscribe/rack1/#"),
             QStringLiteral("homeassistant/sensor/cellscribe_rack1/+/config")}));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 5000);
    QTRY_VERIFY(subscriber.count(QStringLiteral("cellscribe/rack1/state")) >= 3);
    poll.stop();
    QCOMPARE(subscriber.last(QStringLiteral("cellscribe/rack1/status")), QByteArray("online"));
    QTRY_COMPARE(subscriber.messages().size() - subscriber.count("cellscribe/rack1/state") - 1,
                 publisher.announcedSensors().size());

    // Every frame of the outage is counted, reported once on the reconnect, and in the state.
    QCOMPARE(dropped.count(), 1);
    const qint64 reported = dropped.first().first().toLongLong();
    QVERIFY2(reported >= 40 && reported <= 80, qPrintable(QString::number(reported)));
    QCOMPARE(publisher.droppedCount(), reported);
    QCOMPARE(publisher.publishedCount() + publisher.droppedCount(), qint64(frames));
    QCOMPARE(subscriber.messages(QStringLiteral("cellscribe/rack1/state"))
                     .last()
                     .json()
                     .value("dropped")
                     .toInt(),
             reported);
}

void tst_MqttBroker::settingsThatCannotWork_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("pack");
    QTest::addColumn<int>("qos");
    QTest::addColumn<QString>("error");

    const QString ok = QStringLiteral("mqtt://127.0.0.1:1");
    const QString prefix = QStringLiteral("cellscribe");
    QTest::newRow("no URL") << "mqtt://:x"
                            << "" << prefix << "p" << 0 << "no broker address";
    QTest::newRow("CA file missing") << "mqtts://127.0.0.1:1"
                                     << "/nonexistent/ca.pem" << prefix << "p" << 0
                                     << "CA file not found: /nonexistent/ca.pem";
    QTest::newRow("CA file is a directory")
            << "mqtts://127.0.0.1:1"
            << "/" << prefix << "p" << 0 << "CA file cannot be read";
    QTest::newRow("CA file without TLS")
            << ok << "/etc/hostname" << prefix << "p" << 0 << "only used with mqtts://";
    QTest::newRow("wildcard prefix") << ok << ""
                                     << "a/#"
                                     << "p" << 0 << "wildcards";
    QTest::newRow("pack id with a slash") << ok << "" << prefix << "a/b" << 0 << "pack id";
    QTest::newRow("qos 2") << ok << "" << prefix << "p" << 2 << "QoS 2";
}

void tst_MqttBroker::settingsThatCannotWork()
{
    QFETCH(QString, url);
    QFETCH(QString, caFile);
    QFETCH(QString, prefix);
    QFETCH(QString, pack);
    QFETCH(int, qos);
    QFETCH(QString, error);
    MqttPublisherSettings settings;
    settings.url = MqttUrl::parse(url);
    settings.caFile = caFile;
    settings.prefix = prefix;
    settings.packId = pack;
    settings.qos = qos;
    MqttPublisher publisher;
    QVERIFY(!publisher.start(settings));
    QVERIFY2(publisher.lastError().contains(error), qPrintable(publisher.lastError()));
    QVERIFY(!publisher.isRunning());
}

void tst_MqttBroker::unreachableBrokerCostsNothing_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nothing listening")
            << QStringLiteral("mqtt://127.0.0.1:%1").arg(freeLoopbackPort()) << "refused";
    QTest::newRow("unknown host") << "mqtt://no-such-broker.invalid"
                                  << "cannot resolve";
}

void tst_MqttBroker::unreachableBrokerCostsNothing()
{
    QFETCH(QString, url);
    QFETCH(QString, reason);
    SampleMaker maker;
    MqttPublisher publisher;
    publisher.setProtocol(&maker.config(), maker.command());
    MqttPublisherSettings settings;
    settings.url = MqttUrl::parse(url);
    settings.packId = QStringLiteral("p");
    settings.retryFirstMs = 50;
    settings.retryLastMs = 100;
    QSignalSpy failed(&publisher, &MqttPublisher::attemptFailed);
    QVERIFY(publisher.start(settings));
    // Kept while the first attempt is under way, then counted as dropped.
    const Sample sample = maker.make(1, 0);
    for (int i = 0; i < 3; ++i)
        publisher.publishSample(sample, {});
    QCOMPARE(publisher.droppedCount(), 0);
    QTRY_VERIFY(!failed.isEmpty());
    QVERIFY2(failed.first().first().toString().contains(reason, Qt::CaseInsensitive),
             qPrintable(failed.first().first().toString()));
    QCOMPARE(publisher.droppedCount(), 3);

    // The frames go on at full speed and are counted; the same reason is reported only once.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200; ++i)
        publisher.publishSample(sample, {});
    QVERIFY(clock.elapsed() < 200);
    QCOMPARE(publisher.droppedCount(), 203);
    QTest::qWait(400);
    QCOMPARE(failed.count(), 1);
    clock.restart();
    publisher.stop();
    QVERIFY(clock.elapsed() < 1000);
}

void tst_MqttBroker::credentials()
{
    TestBroker broker;
    const QString passwords = broker.dir() + QStringLiteral("/passwords");
    QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                               {QStringLiteral("-b"), QStringLiteral("-c"), passwords,
                                QStringLiteral("ha"), QStringLiteral("right:pass")}),
             0);
    QVERIFY(broker.start({QStringLiteral("allow_anonymous false"),
                          QStringLiteral("password_file %DIR%/passwords")}));

    MqttPublisherSettings settings = settingsFor(broker, QStringLiteral("p"));
    for (const QString &userInfo : {QStringLiteral("ha:wrong"), QString()}) {
        settings.url = MqttUrl::parse(broker.url(userInfo));
        MqttPublisher publisher;
        QSignalSpy failed(&publisher, &MqttPublisher::attemptFailed);
        QVERIFY(publisher.start(settings));
        QTRY_VERIFY(!failed.isEmpty());
        QVERIFY2(failed.first().first().toString().contains(QLatin1String("refused")),
                 qPrintable(failed.first().first().toString()));
        QVERIFY(!publisher.isConnected());
    }
    // The password percent-encoded in the URL, as a ':' in it must be.
    settings.url = MqttUrl::parse(broker.url(QStringLiteral("ha:right%3Apass")));
    MqttPublisher publisher;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settings));
    QTRY_COMPARE(connected.count(), 1);
}

void tst_MqttBroker::tls()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("openssl is not installed");
    TestBroker broker;
    const QString dir = broker.dir();
    // A CA, a server certificate it signed for 127.0.0.1, and a CA that signed nothing.
    auto openssl = [&](const QString &arguments) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.start(QStringLiteral("openssl"), QProcess::splitCommand(arguments));
        return process.waitForFinished(30000) && process.exitCode() == 0;
    };
    QVERIFY(openssl("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                    "-subj /CN=test-ca -keyout ca.key -out ca.pem"));
    QVERIFY(openssl("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                    "-subj /CN=other-ca -keyout other.key -out other.pem"));
    QVERIFY(openssl("req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                    "-subj /CN=127.0.0.1 -keyout server.key -out server.csr"));
    QFile ext(dir + QStringLiteral("/san.ext"));
    QVERIFY(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    QVERIFY(openssl("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
                    "-extfile san.ext -out server.pem"));
    QVERIFY(broker.start({QStringLiteral("cafile %DIR%/ca.pem"),
                          QStringLiteral("certfile %DIR%/server.pem"),
                          QStringLiteral("keyfile %DIR%/server.key")}));

    MqttPublisherSettings settings = settingsFor(broker, QStringLiteral("p"));
    settings.url = MqttUrl::parse(QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port()));
    {
        settings.caFile = dir + QStringLiteral("/other.pem");
        MqttPublisher publisher;
        QSignalSpy failed(&publisher, &MqttPublisher::attemptFailed);
        QVERIFY(publisher.start(settings));
        QTRY_VERIFY(!failed.isEmpty());
        QVERIFY2(failed.first().first().toString().contains(QLatin1String("certificate verify")),
                 qPrintable(failed.first().first().toString()));
        QVERIFY(!publisher.isConnected());
    }
    {
        // Nothing listening: refused during the handshake, reported at once (the library
        // itself keeps reporting success for such a socket).
        settings.url =
                MqttUrl::parse(QStringLiteral("mqtts://127.0.0.1:%1").arg(freeLoopbackPort()));
        settings.caFile = dir + QStringLiteral("/ca.pem");
        MqttPublisher publisher;
        QSignalSpy failed(&publisher, &MqttPublisher::attemptFailed);
        QVERIFY(publisher.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), 3000);
        QVERIFY2(failed.first().first().toString().contains(QLatin1String("TLS")),
                 qPrintable(failed.first().first().toString()));
    }
    settings.url = MqttUrl::parse(QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port()));
    settings.caFile = dir + QStringLiteral("/ca.pem");
    MqttPublisher publisher;
    QSignalSpy connected(&publisher, &MqttPublisher::connected);
    QVERIFY(publisher.start(settings));
    QTRY_COMPARE(connected.count(), 1);
}

QTEST_GUILESS_MAIN(tst_MqttBroker)
#include "tst_mqttbroker.moc"
