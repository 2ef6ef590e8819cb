// Alarms end to end on the serial link: the simulator's overvoltage scenario against the sample
// protocol's default rules.

#include "alarms/alarmmonitor.h"
#include "i18n/translations.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"
#include "simprocess.h"

#include <QDir>
#include <QSignalSpy>

class tst_AlarmLink : public QObject
{
    Q_OBJECT

private slots:
    void overvoltageCellRaisesOnceAndClears();
};

void tst_AlarmLink::overvoltageCellRaisesOnceAndClears()
{
    const QString protocol =
            QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(QStringLiteral("cs-16s.json"));
    ProtocolConfig config;
    QVERIFY(config.loadConfig(protocol));
    constexpr int cell = 11;
    constexpr int first = 4;
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), protocol, QStringLiteral("--scenario"),
                       QStringLiteral("overvoltage-cell=%1@%2").arg(cell).arg(first)}));

    AlarmMonitor monitor;
    monitor.load(config, protocol, QString());
    QVERIFY(monitor.problems().isEmpty());
    const QList<AlarmRule> rules = monitor.rules();
    const auto rule = std::find_if(rules.cbegin(), rules.cend(),
                                   [](const AlarmRule &r) { return r.isEveryCell() && r.hasHigh; });
    QVERIFY(rule != rules.cend());
    const int delay = rule->delayFrames;

    SerialInterface serial;
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    DataProcessor processor;
    processor.setProtocolConfig(&config);
    processor.setProtocolFrame(&frame);
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);

    int answers = 0;
    QList<QPair<int, AlarmEvent>> events;
    connect(&monitor, &AlarmMonitor::raised, this, [&](const AlarmEvent &e) {
        events.append({answers, e});
    });
    connect(&monitor, &AlarmMonitor::cleared, this, [&](const AlarmEvent &e) {
        events.append({answers, e});
    });
    connect(&serial, &SerialInterface::dataReceived, this, [&](const QString &text) {
        QString command;
        QVERIFY(processor.resolveCommandForFrame(text, command));
        ++answers;
        monitor.processValues(processor.processFrameValues(command, frame.parsedValues(), {}),
                              QDateTime::currentMSecsSinceEpoch());
    });

    QVERIFY(serial.openPort(sim.path(), 9600));
    serial.setDataType(SerialInterface::Ascii);
    handler.startPeriodicRequest(QStringLiteral("pack_status"), 100);
    QTRY_VERIFY_WITH_TIMEOUT(answers >= first + 20 + 3, 30000);
    handler.stopPeriodicRequest();

    QCOMPARE(events.size(), 2);
    const AlarmEvent raised = events.at(0).second;
    QCOMPARE(raised.kind, AlarmEvent::Kind::Raised);
    QCOMPARE(events.at(0).first, first + delay);
    QCOMPARE(raised.cell, cell);
    QCOMPARE(raised.value, 3700.0);
    QVERIFY(raised.message(English).contains(QString::number(cell)));
    const AlarmEvent cleared = events.at(1).second;
    QCOMPARE(cleared.kind, AlarmEvent::Kind::Cleared);
    QCOMPARE(cleared.cell, cell);
    QCOMPARE(events.at(1).first, first + 20);
}

QTEST_GUILESS_MAIN(tst_AlarmLink)
#include "tst_alarmlink.moc"
