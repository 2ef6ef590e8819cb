// cellscribe-record publishing to a real mosquitto broker while it polls the BMS simulator: one
// state message per answered frame with the CSV's values, the pack's status through the will,
// a broker outage that costs no row, and bad MQTT input refused.

#include "../publish/mqtttestsupport.h"
#include "childprocess.h"
#include "protocol/protocolconfig.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

#include <algorithm>

namespace {

const QString kProtocolFile = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

// The cells of the CSV's data rows (the header dropped), unquoted.
QList<QStringList> csvRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.size() < 2)
            continue;
        rows.append(line.mid(1, line.size() - 2).split(QStringLiteral("\",\"")));
    }
    return rows;
}

QStringList simArgs(const QString &link)
{
    return {QStringLiteral("--protocol"), kProtocolFile, QStringLiteral("--link"), link};
}

} // namespace

class TestRecorderMqtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneStateMessagePerAnsweredFrame();
    void killedRecorderGoesOffline();
    void alarmsArePublished();
    void brokerOutageCostsNoRow();
    void brokerThatWillNotHaveItCostsNoRow_data();
    void brokerThatWillNotHaveItCostsNoRow();
    void removalFromHomeAssistant();
    void badInput_data();
    void badInput();

private:
    QStringList recorderArgs(const QString &link, const QString &csv, const QString &url) const
    {
        return {QStringLiteral("--port"),     link,
                QStringLiteral("--protocol"), QStringLiteral("CS-16S"),
                QStringLiteral("--interval"), QStringLiteral("100"),
                QStringLiteral("--csv"),      csv,
                QStringLiteral("--language"), QStringLiteral("en"),
                QStringLiteral("--mqtt"),     url,
                QStringLiteral("--pack-id"),  QStringLiteral("rack1")};
    }

    QTemporaryDir m_dir;
};

void TestRecorderMqtt::initTestCase()
{
    if (TestBroker::program().isEmpty())
        QSKIP("mosquitto is not installed (Debian: mosquitto)");
    QVERIFY(QFileInfo::exists(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-record")));
}

void TestRecorderMqtt::oneStateMessagePerAnsweredFrame()
{
    constexpr int frames = 25;
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/rack1/#")}, 1));
    const QString link = m_dir.filePath(QStringLiteral("bms-one"));
    const QString csv = m_dir.filePath(QStringLiteral("one.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));

    RecorderProcess recorder;
    recorder.start(recorderArgs(link, csv, broker.url())
                   << QStringLiteral("--frames") << QString::number(frames)
                   << QStringLiteral("--mqtt-qos") << QStringLiteral("1"));
    QCOMPARE(recorder.waitForExit(30000), 0);
    QTRY_COMPARE(sim.answers().size(), frames);
    const QList<QStringList> rows = csvRows(csv);
    QCOMPARE(rows.size(), frames);

    // One state message per answered frame, in order, holding what the CSV row holds.
    const QString stateTopic = QStringLiteral("cellscribe/rack1/state");
    QTRY_COMPARE(subscriber.count(stateTopic), frames);
    const QList<ReceivedMessage> states = subscriber.messages(stateTopic);
    ProtocolConfig config;
    QVERIFY(config.loadConfig(kProtocolFile));
    const QList<TableColumn> columns = config.tableColumns();
    int compared = 0;
    for (int i = 0; i < frames; ++i) {
        const QJsonObject values = states.at(i).json().value(QStringLiteral("values")).toObject();
        QCOMPARE(states.at(i)
                         .json()
                         .value(QStringLiteral("link"))
                         .toObject()
                         .value(QStringLiteral("framesReceived"))
                         .toInt(),
                 i + 1);
        for (int c = 0; c < columns.size(); ++c) {
            const TableColumn &column = columns.at(c);
            if (column.type == QLatin1String("system") || column.type == QLatin1String("status"))
                continue;
            const QString key = column.dataField.isEmpty() ? column.field : column.dataField;
            bool ok = false;
            const double cell = rows.at(i).value(c).toDouble(&ok);
            if (!ok)
                continue;
            const double published = values.value(key).toDouble();
            QVERIFY2(std::abs(published - cell) <= std::abs(cell) * 1e-9,
                     qPrintable(QStringLiteral("row %1, %2: CSV %3, published %4")
                                        .arg(i)
                                        .arg(key, rows.at(i).value(c))
                                        .arg(published)));
            ++compared;
        }
    }
    QVERIFY(compared >= frames * 20);

    // online while it ran, offline when it ended; discovery retained for Home Assistant.
    QStringList status;
    for (const ReceivedMessage &message :
         subscriber.messages(QStringLiteral("cellscribe/rack1/status")))
        status << QString::fromUtf8(message.payload);
    QCOMPARE(status, (QStringList{QStringLiteral("online"), QStringLiteral("offline")}));
    TestSubscriber homeAssistant;
    QVERIFY(homeAssistant.subscribe(
            broker.port(), {QStringLiteral("homeassistant/sensor/cellscribe_rack1/+/config")}));
    QTRY_VERIFY(homeAssistant.messages().size() > 40);
    QVERIFY(recorder.count(QStringLiteral("MQTT connected: mqtt://127.0.0.1:")) == 1);
    QVERIFY2(recorder.count(QStringLiteral("MQTT: published %1, dropped 0").arg(frames)) == 1,
             qPrintable(recorder.log()));
}

void TestRecorderMqtt::killedRecorderGoesOffline()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/rack1/#")}, 1));
    const QString link = m_dir.filePath(QStringLiteral("bms-kill"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));

    RecorderProcess recorder;
    recorder.start(recorderArgs(link, m_dir.filePath(QStringLiteral("kill.csv")), broker.url()));
    const QString status = QStringLiteral("cellscribe/rack1/status");
    QTRY_COMPARE(subscriber.last(status), QByteArray("online"));
    QTRY_VERIFY(subscriber.count(QStringLiteral("cellscribe/rack1/state")) >= 3);
    recorder.process().kill(); // SIGKILL: the broker speaks for it
    QVERIFY(recorder.process().waitForFinished(5000));
    QTRY_COMPARE(subscriber.last(status), QByteArray("offline"));
}

void TestRecorderMqtt::alarmsArePublished()
{
    // The simulator's cell 5 answers 3700 mV from its 3rd answer for 20 answers: the sample
    // protocol's default high-cell rule raises once and clears once.
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/rack1/alarm")}, 1));
    const QString link = m_dir.filePath(QStringLiteral("bms-alarm"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)
                      << QStringLiteral("--scenario") << QStringLiteral("overvoltage-cell=5@3")));
    QTRY_VERIFY(QFileInfo::exists(link));
    // No rules of the user's: the protocol's defaults alone.
    const QString rules = m_dir.filePath(QStringLiteral("no-rules.json"));
    QFile rulesFile(rules);
    QVERIFY(rulesFile.open(QIODevice::WriteOnly));
    rulesFile.write(R"({"alarms": []})");
    rulesFile.close();
    RecorderProcess recorder;
    recorder.start(recorderArgs(link, m_dir.filePath(QStringLiteral("alarm.csv")), broker.url())
                   << QStringLiteral("--frames") << QStringLiteral("28")
                   << QStringLiteral("--mqtt-qos") << QStringLiteral("1")
                   << QStringLiteral("--alarms") << rules);
    QCOMPARE(recorder.waitForExit(30000), 0);
    QTRY_COMPARE(subscriber.count(QStringLiteral("cellscribe/rack1/alarm")), 2);
    const QList<ReceivedMessage> alarms =
            subscriber.messages(QStringLiteral("cellscribe/rack1/alarm"));
    QStringList events;
    for (const ReceivedMessage &message : alarms) {
        const QJsonObject o = message.json();
        events << o.value(QStringLiteral("event")).toString();
        QCOMPARE(o.value(QStringLiteral("cell")).toInt(), 5);
        QVERIFY2(o.value(QStringLiteral("message")).toString().contains(QStringLiteral("Cell 5")),
                 message.payload.constData());
    }
    QCOMPARE(events, (QStringList{QStringLiteral("raised"), QStringLiteral("cleared")}));
}

void TestRecorderMqtt::brokerOutageCostsNoRow()
{
    TestBroker broker;
    QVERIFY(broker.start());
    const QString link = m_dir.filePath(QStringLiteral("bms-outage"));
    const QString csv = m_dir.filePath(QStringLiteral("outage.csv"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));

    RecorderProcess recorder;
    recorder.start(recorderArgs(link, csv, broker.url()));
    QTRY_VERIFY(recorder.count(QStringLiteral("MQTT connected")) == 1);
    QTest::qWait(500);
    broker.stop();
    QTRY_VERIFY(recorder.count(QStringLiteral("MQTT connection lost")) == 1);
    QTest::qWait(5000);
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/rack1/state")}));
    // Reconnected within the back-off (1, 2, 4 s ...), the count of what was lost told once.
    QTRY_VERIFY_WITH_TIMEOUT(recorder.count(QStringLiteral("MQTT connected")) == 2, 10000);
    QTRY_VERIFY(subscriber.count(QStringLiteral("cellscribe/rack1/state")) >= 3);
    QCOMPARE(recorder.count(QStringLiteral("messages dropped while disconnected")), 1);
    const QString dropped = recorder.find(QStringLiteral("messages dropped while disconnected"));
    const int lost = dropped.section(QStringLiteral("MQTT: "), 1).section(u' ', 0, 0).toInt();
    QVERIFY2(lost >= 30, qPrintable(dropped));

    recorder.process().terminate();
    QCOMPARE(recorder.waitForExit(10000), 0);
    // Acquisition and CSV went on throughout: a row per answer, published or dropped each.
    const qsizetype rows = csvRows(csv).size();
    QTRY_COMPARE(sim.answers().size(), rows);
    const QString summary = recorder.find(QStringLiteral("MQTT: published"));
    const int published =
            summary.section(QStringLiteral("published "), 1).section(u',', 0, 0).toInt();
    const int droppedTotal =
            summary.section(QStringLiteral("dropped "), 1).section(u',', 0, 0).toInt();
    // A message already handed to the connection when the broker went away counts as published
    // and then as dropped: at most the one or two in flight then count twice.
    QVERIFY2(published + droppedTotal >= rows && published + droppedTotal <= rows + 2,
             qPrintable(QStringLiteral("%1 published, %2 dropped, %3 rows")
                                .arg(published)
                                .arg(droppedTotal)
                                .arg(rows)));
    QCOMPARE(droppedTotal, lost);
}

void TestRecorderMqtt::brokerThatWillNotHaveItCostsNoRow_data()
{
    QTest::addColumn<bool>("credentials");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing listening") << false << "Connection refused";
    QTest::newRow("wrong password") << true << "the broker refused the connection";
}

void TestRecorderMqtt::brokerThatWillNotHaveItCostsNoRow()
{
    QFETCH(bool, credentials);
    QFETCH(QString, message);
    TestBroker broker;
    QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(freeLoopbackPort());
    if (credentials) {
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                   {QStringLiteral("-b"), QStringLiteral("-c"),
                                    broker.dir() + QStringLiteral("/passwords"),
                                    QStringLiteral("ha"), QStringLiteral("right")}),
                 0);
        QVERIFY(broker.start({QStringLiteral("allow_anonymous false"),
                              QStringLiteral("password_file %DIR%/passwords")}));
        url = broker.url(QStringLiteral("ha:wrong"));
    }
    const QString link = m_dir.filePath(QStringLiteral("bms-refused"));
    const QString csv = m_dir.filePath(QStringLiteral("refused-%1.csv").arg(credentials));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    RecorderProcess recorder;
    recorder.start(recorderArgs(link, csv, url)
                   << QStringLiteral("--frames") << QStringLiteral("15"));
    QCOMPARE(recorder.waitForExit(30000), 0);
    QCOMPARE(csvRows(csv).size(), 15);
    // Said once, not at every retry; nothing published, every frame counted as dropped.
    QVERIFY2(recorder.count(QStringLiteral("MQTT connection failed: ") + message) == 1,
             qPrintable(recorder.log()));
    QVERIFY2(recorder.count(QStringLiteral("MQTT: published 0, dropped 15, broker: offline")) == 1,
             qPrintable(recorder.log()));
}

void TestRecorderMqtt::removalFromHomeAssistant()
{
    TestBroker broker;
    QVERIFY(broker.start());
    const QString link = m_dir.filePath(QStringLiteral("bms-remove"));
    SimProcess sim;
    QVERIFY(sim.start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));
    RecorderProcess run;
    run.start(recorderArgs(link, m_dir.filePath(QStringLiteral("remove.csv")), broker.url())
              << QStringLiteral("--frames") << QStringLiteral("2"));
    QCOMPARE(run.waitForExit(20000), 0);
    const QStringList filters{QStringLiteral("homeassistant/sensor/cellscribe_rack1/+/config"),
                              QStringLiteral("cellscribe/rack1/status")};
    {
        TestSubscriber before;
        QVERIFY(before.subscribe(broker.port(), filters));
        QTRY_VERIFY(before.messages().size() > 40);
    }

    // No port needed with the pack's id; the broker forgets the pack.
    RecorderProcess removal;
    removal.start({QStringLiteral("--protocol"), QStringLiteral("CS-16S"), QStringLiteral("--mqtt"),
                   broker.url(), QStringLiteral("--pack-id"), QStringLiteral("rack1"),
                   QStringLiteral("--mqtt-ha-remove"), QStringLiteral("--language"),
                   QStringLiteral("en")});
    QCOMPARE(removal.waitForExit(20000), 0);
    QVERIFY2(removal.count(QStringLiteral("sensors of pack rack1 from Home Assistant")) == 1,
             qPrintable(removal.log()));
    TestSubscriber after;
    QVERIFY(after.subscribe(broker.port(), filters));
    QTest::qWait(300);
    QVERIFY(after.messages().isEmpty());
}

void TestRecorderMqtt::badInput_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("message");
    const QString mqtt = QStringLiteral("--mqtt");
    const QString ok = QStringLiteral("mqtt://127.0.0.1:1");
    QTest::newRow("unparsable URL")
            << QStringList{mqtt, QStringLiteral("mqtt://host:port")} << "invalid --mqtt URL: ";
    QTest::newRow("other scheme") << QStringList{mqtt, QStringLiteral("http://host")}
                                  << "invalid --mqtt URL: unknown scheme";
    QTest::newRow("CA file missing")
            << QStringList{mqtt, QStringLiteral("mqtts://127.0.0.1:1"), QStringLiteral("--mqtt-ca"),
                           QStringLiteral("/nonexistent/ca.pem")}
            << "MQTT cannot start: CA file not found: /nonexistent/ca.pem";
    QTest::newRow("CA file without TLS")
            << QStringList{mqtt, ok, QStringLiteral("--mqtt-ca"), QStringLiteral("/etc/hostname")}
            << "mqtts://";
    QTest::newRow("qos 2") << QStringList{mqtt, ok, QStringLiteral("--mqtt-qos"),
                                          QStringLiteral("2")}
                           << "--mqtt-qos takes 0 or 1, not 2";
    QTest::newRow("negative period")
            << QStringList{mqtt, ok, QStringLiteral("--mqtt-every"), QStringLiteral("-1")}
            << "--mqtt-every takes 0 or more seconds";
    QTest::newRow("pack id with a slash")
            << QStringList{mqtt, ok, QStringLiteral("--pack-id"), QStringLiteral("a/b")}
            << "--pack-id takes";
    QTest::newRow("wildcard prefix")
            << QStringList{mqtt, ok, QStringLiteral("--mqtt-prefix"), QStringLiteral("site/#")}
            << "invalid --mqtt-prefix";
    QTest::newRow("MQTT option without --mqtt")
            << QStringList{QStringLiteral("--pack-id"), QStringLiteral("p1")}
            << "--pack-id needs --mqtt";
}

void TestRecorderMqtt::badInput()
{
    QFETCH(QStringList, extra);
    QFETCH(QString, message);
    RecorderProcess recorder;
    recorder.start(QStringList{QStringLiteral("--port"), QStringLiteral("/nonexistent/tty"),
                               QStringLiteral("--protocol"), QStringLiteral("CS-16S"),
                               QStringLiteral("--language"), QStringLiteral("en")}
                   + extra);
    QCOMPARE(recorder.waitForExit(10000), 1);
    QVERIFY2(recorder.count(message) == 1, qPrintable(recorder.log()));
}

QTEST_GUILESS_MAIN(TestRecorderMqtt)
#include "tst_recordermqtt.moc"
