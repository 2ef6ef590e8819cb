// The whole serial link against the simulator: polling, framing and decoding of its answers.

#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"

#include "../serial/testpty.h"
#include "simprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>

namespace {

const char protocolText[] = R"({"protocol": {
    "name": "Link test", "version": "1.0", "frame": {"SOI": ":", "EOI": "~"},
    "defaultCommand": "status",
    "commands": [
        {"name": "status", "code": "42", "request": {"addr": "01", "cmd": "42", "ver": "10"},
         "response": {"dataSegments": [
            {"name": "Vcell1", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell2", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell3", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell4", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell5", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell6", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell7", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell8", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell9", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell10", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell11", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell12", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell13", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell14", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell15", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "Vcell16", "length": 4, "scale": 1, "unit": "mV"},
            {"name": "ChgCur", "length": 4, "scale": 0.01, "unit": "A"},
            {"name": "DsgCur", "length": 4, "scale": 0.01, "unit": "A"},
            {"name": "Temp1", "length": 4, "scale": 0.1, "offset": -40, "unit": "℃"},
            {"name": "Temp2", "length": 4, "scale": 0.1, "offset": -40, "unit": "℃"},
            {"name": "Temp3", "length": 4, "scale": 0.1, "offset": -40, "unit": "℃"},
            {"name": "Temp4", "length": 4, "scale": 0.1, "offset": -40, "unit": "℃"},
            {"name": "remain_cap", "length": 4, "scale": 0.01, "unit": "Ah"},
            {"name": "full_cap", "length": 4, "scale": 0.01, "unit": "Ah"},
            {"name": "soc", "length": 2, "scale": 1, "unit": "%"},
            {"name": "soh", "length": 2, "scale": 1, "unit": "%"},
            {"name": "WorkState", "length": 4, "scale": 1},
            {"name": "BlanceState", "length": 4, "scale": 1}]}},
        {"name": "info", "code": "51", "request": {"addr": "02", "cmd": "51", "ver": "11", "payload": "01"},
         "response": {"dataSegments": [
            {"name": "serial", "length": 8, "scale": 1},
            {"name": "cycles", "length": 4, "scale": 1}]}}
    ]}})";

bool sameValue(const QVariant &parsed, const QJsonValue &sent)
{
    if (sent.isString())
        return parsed.toString() == sent.toString();
    const double a = parsed.toDouble();
    const double b = sent.toDouble();
    return std::abs(a - b) <= 1e-9 * qMax(1.0, std::abs(b));
}

} // namespace

class tst_BmsLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyAnswerIsDecoded_data();
    void everyAnswerIsDecoded();
    void silentDeviceTimesOutEveryRequest();
    void hangUpIsReportedOnce();
    void terminatesCleanly();
    void answersOnAGivenDevice();

private:
    QTemporaryDir m_dir;
    QString m_protocolPath;
    ProtocolConfig m_config;
};

void tst_BmsLink::initTestCase()
{
    QVERIFY2(QFileInfo::exists(SimProcess::program()), qPrintable(SimProcess::program()));
    QVERIFY(m_dir.isValid());
    m_protocolPath = m_dir.filePath(QStringLiteral("link.json"));
    QFile file(m_protocolPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(protocolText);
    file.close();
    QVERIFY(m_config.loadConfig(m_protocolPath));
}

void tst_BmsLink::everyAnswerIsDecoded_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("faults");

    QTest::newRow("clean") << QStringLiteral("status") << QStringList();
    QTest::newRow("second command") << QStringLiteral("info") << QStringList();
    QTest::newRow("split") << QStringLiteral("status") << QStringList{QStringLiteral("split")};
    QTest::newRow("garbage") << QStringLiteral("status")
                             << QStringList{QStringLiteral("garbage=0.7")};
    QTest::newRow("delay") << QStringLiteral("status") << QStringList{QStringLiteral("delay=120")};
    QTest::newRow("bad checksum") << QStringLiteral("status")
                                  << QStringList{QStringLiteral("bad-checksum=0.5")};
    QTest::newRow("drop") << QStringLiteral("status") << QStringList{QStringLiteral("drop=0.4")};
    QTest::newRow("everything at once")
            << QStringLiteral("status")
            << QStringList{QStringLiteral("split,garbage=0.5"), QStringLiteral("delay=30"),
                           QStringLiteral("bad-checksum=0.3"), QStringLiteral("drop=0.2")};
}

void tst_BmsLink::everyAnswerIsDecoded()
{
    QFETCH(QString, command);
    QFETCH(QStringList, faults);

    QStringList args{QStringLiteral("--protocol"), m_protocolPath, QStringLiteral("--seed"),
                     QStringLiteral("7")};
    for (const QString &f : std::as_const(faults))
        args << QStringLiteral("--fault") << f;
    SimProcess sim;
    QVERIFY(sim.start(args));

    SerialInterface serial;
    ProtocolFrame frame;
    frame.setProtocolConfig(&m_config);
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&m_config);
    QStringList received;
    connect(&serial, &SerialInterface::dataReceived, this,
            [&](const QString &text) { received << text; });
    QSignalSpy lost(&serial, &SerialInterface::portLost);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);
    QSignalSpy sent(&handler, &SerialCommHandler::sendSuccess);

    QVERIFY(serial.openPort(sim.path(), 9600));
    serial.setDataType(SerialInterface::Ascii);
    handler.startPeriodicRequest(command, 200);
    QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 8, 30000);
    handler.stopPeriodicRequest();

    // Every answer the simulator wrote arrives, whole and in order.
    QTRY_COMPARE_WITH_TIMEOUT(sim.requests(), int(sent.count()), 10000);
    if (faults.isEmpty()) // the last answer's report may still be on its way
        QTRY_COMPARE_WITH_TIMEOUT(sim.answers().size(), sim.requests(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), sim.answers().size(), 10000);
    QVERIFY(failed.isEmpty());
    QVERIFY(lost.isEmpty());
    for (qsizetype i = 0; i < received.size(); ++i) {
        const SimAnswer &answer = sim.answers().at(i);
        QCOMPARE(answer.command, command);
        QCOMPARE(received.at(i), answer.frame);

        // ... and decodes into the values it sent.
        QVERIFY2(frame.parseFrame(received.at(i), command), qPrintable(received.at(i)));
        const QVariantMap &values = frame.parsedValues();
        QCOMPARE(values.value(QStringLiteral("ProtocolVersion")).toString(),
                 m_config.command(command).ver);
        QVERIFY(!answer.values.isEmpty());
        for (auto it = answer.values.constBegin(); it != answer.values.constEnd(); ++it) {
            QVERIFY2(values.contains(it.key()), qPrintable(it.key()));
            QVERIFY2(sameValue(values.value(it.key()), it.value()),
                     qPrintable(QStringLiteral("%1: parsed %2, sent %3")
                                        .arg(it.key(), values.value(it.key()).toString(),
                                             it.value().toVariant().toString())));
        }
    }
}

void tst_BmsLink::silentDeviceTimesOutEveryRequest()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), m_protocolPath, QStringLiteral("--fault"),
                       QStringLiteral("silent")}));
    SerialInterface serial;
    ProtocolFrame frame;
    frame.setProtocolConfig(&m_config);
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&m_config);
    QSignalSpy timeouts(&serial, &SerialInterface::timeoutOccurred);
    QSignalSpy sent(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy frames(&serial, &SerialInterface::dataReceived);

    QVERIFY(serial.openPort(sim.path(), 9600));
    handler.startPeriodicRequest(QStringLiteral("status"), 200);
    QTRY_VERIFY_WITH_TIMEOUT(timeouts.count() >= 3, 20000);
    handler.stopPeriodicRequest();
    // Polling at 200 ms, each silent request is reported exactly once.
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), sent.count(), 5000);
    QTRY_COMPARE(sim.requests(), int(sent.count()));
    QTest::qWait(1200);
    QCOMPARE(timeouts.count(), sent.count());
    QVERIFY(frames.isEmpty());
}

void tst_BmsLink::hangUpIsReportedOnce()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), m_protocolPath, QStringLiteral("--fault"),
                       QStringLiteral("hangup-after=5")}));
    SerialInterface serial;
    ProtocolFrame frame;
    frame.setProtocolConfig(&m_config);
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&m_config);
    QSignalSpy lost(&serial, &SerialInterface::portLost);
    QSignalSpy errors(&serial, &SerialInterface::errorOccurred);
    QSignalSpy frames(&serial, &SerialInterface::dataReceived);
    // The window stops acquisition on a lost port.
    connect(&serial, &SerialInterface::portLost, &handler, &SerialCommHandler::stopPeriodicRequest);

    QVERIFY(serial.openPort(sim.path(), 9600));
    handler.startPeriodicRequest(QStringLiteral("status"), 200);
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 20000);
    QCOMPARE(lost.at(0).at(0).toString(), sim.path());
    QVERIFY(!serial.isOpen());
    QVERIFY(!handler.isPeriodicRequestActive());
    QCOMPARE(frames.count(), 5);
    QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 10000);
    QCOMPARE(sim.process().exitCode(), 0);
    QTest::qWait(1000);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(errors.count(), 1);
}

void tst_BmsLink::terminatesCleanly()
{
    const QString link = m_dir.filePath(QStringLiteral("ttyBMS"));
    SimProcess sim;
    QVERIFY(sim.start(
            {QStringLiteral("--protocol"), m_protocolPath, QStringLiteral("--link"), link}));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path());

    // A client can reach the simulator through the link.
    SerialInterface serial;
    QSignalSpy frames(&serial, &SerialInterface::dataReceived);
    QVERIFY(serial.openPort(link, 115200));
    QVERIFY(serial.sendData(QString::fromUtf8(m_config.buildRequestFrame(QStringLiteral("info")))));
    QTRY_COMPARE(frames.count(), 1);
    serial.closePort();

    sim.process().terminate(); // SIGTERM
    QVERIFY(sim.process().waitForFinished(10000));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

void tst_BmsLink::answersOnAGivenDevice()
{
    // The simulator opens the slave side as its device; the test is the application.
    TestPty pty;
    QVERIFY(pty.isValid());
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), m_protocolPath, QStringLiteral("--device"),
                       pty.slaveName(), QStringLiteral("--baud"), QStringLiteral("115200")}));
    QCOMPARE(sim.path(), pty.slaveName());

    const QByteArray request = m_config.buildRequestFrame(QStringLiteral("status"));
    QVERIFY(pty.write("noise" + request));
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += pty.readAvailable()).endsWith('~'), 10000);
    // The answer on the line can overtake the simulator's report of it on stdout.
    QTRY_COMPARE_WITH_TIMEOUT(sim.answers().size(), 1, 10000);
    QCOMPARE(QString::fromLatin1(answer), sim.answers().at(0).frame);
    ProtocolFrame frame;
    frame.setProtocolConfig(&m_config);
    QVERIFY(frame.parseFrame(QString::fromLatin1(answer), QStringLiteral("status")));
}

QTEST_GUILESS_MAIN(tst_BmsLink)
#include "tst_bmslink.moc"
