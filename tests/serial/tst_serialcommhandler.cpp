#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "serial/serialcommhandler.h"
#include "serial/serialinterface.h"

#include "testpty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_SerialCommHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void invalidStartChangesNothing_data();
    void invalidStartChangesNothing();
    void startSendsAtOnceThenPolls();
    void missingParts_data();
    void missingParts();
    void unbuildableRequestFailsEveryTick();
    void closedPortIsAFailure();
    void lostPortIsAFailure();

private:
    QTemporaryDir m_dir;
    QString m_protocolPath;
};

void tst_SerialCommHandler::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_protocolPath = m_dir.filePath(QStringLiteral("test.json"));
    QFile file(m_protocolPath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"protocol": {
        "name": "Test", "version": "1.0", "frame": {"SOI": ":", "EOI": "~"},
        "commands": [
            {"name": "status", "code": "42", "request": {"addr": "01", "cmd": "42", "ver": "10"},
             "response": {"dataSegments": [{"name": "Vcell1", "length": 4, "scale": 1}]}},
            {"name": "listenOnly", "code": "43"}
        ]}})");
}

void tst_SerialCommHandler::invalidStartChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("interval");
    QTest::newRow("zero interval") << QStringLiteral("status") << 0;
    QTest::newRow("negative interval") << QStringLiteral("status") << -5;
    QTest::newRow("empty name") << QString() << 100;
}

void tst_SerialCommHandler::invalidStartChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(int, interval);

    SerialInterface serial;
    SerialCommHandler handler(&serial);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);

    QTest::ignoreMessage(QtWarningMsg, "Invalid parameters for periodic request");
    handler.startPeriodicRequest(name, interval);
    QVERIFY(!handler.isPeriodicRequestActive());
    QVERIFY(failed.isEmpty()); // nothing was attempted

    // A running poll keeps running with its command.
    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
    handler.startPeriodicRequest(QStringLiteral("status"), 5000);
    QVERIFY(handler.isPeriodicRequestActive());
    QTest::ignoreMessage(QtWarningMsg, "Invalid parameters for periodic request");
    handler.startPeriodicRequest(name, interval);
    QVERIFY(handler.isPeriodicRequestActive());
    QCOMPARE(handler.activeCommandName(), QStringLiteral("status"));
}

void tst_SerialCommHandler::startSendsAtOnceThenPolls()
{
    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    const QByteArray request = config.buildRequestFrame(QStringLiteral("status"));
    QVERIFY(!request.isEmpty());

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface serial;
    QVERIFY(serial.openPort(pty.slaveName(), 9600));
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);
    QSignalSpy success(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy sent(&handler, &SerialCommHandler::requestSent);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);

    handler.startPeriodicRequest(QStringLiteral("status"), 50);
    // The first request is out before the call returns.
    QCOMPARE(success.count(), 1);
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("status"));
    QCOMPARE(pty.readAvailable(), request);

    QTRY_VERIFY(success.count() >= 4);
    handler.stopPeriodicRequest();
    QVERIFY(!handler.isPeriodicRequestActive());
    QVERIFY(handler.activeCommandName().isEmpty());
    const int count = int(success.count());
    QTest::qWait(200);
    QCOMPARE(success.count(), count);
    QCOMPARE(sent.count(), count);
    QVERIFY(failed.isEmpty());
    // Every request counted as sent is on the wire.
    QCOMPARE(pty.readAvailable(), request.repeated(count - 1));

    // An idle tick does nothing.
    handler.onTimerTimeout();
    QCOMPARE(success.count(), count);
}

void tst_SerialCommHandler::missingParts_data()
{
    QTest::addColumn<bool>("withSerial");
    QTest::addColumn<bool>("withFrame");
    QTest::addColumn<bool>("withConfig");
    QTest::addColumn<QString>("error");
    QTest::newRow("serial") << false << true << true << QStringLiteral("Serial interface is null");
    QTest::newRow("frame") << true << false << true
                           << QStringLiteral("Protocol frame not configured");
    QTest::newRow("config") << true << true << false
                            << QStringLiteral("Protocol config not configured");
}

void tst_SerialCommHandler::missingParts()
{
    QFETCH(bool, withSerial);
    QFETCH(bool, withFrame);
    QFETCH(bool, withConfig);
    QFETCH(QString, error);

    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    SerialInterface serial;
    SerialCommHandler handler(withSerial ? &serial : nullptr);
    if (withFrame)
        handler.setProtocolFrame(&frame);
    if (withConfig)
        handler.setProtocolConfig(&config);
    QSignalSpy success(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("is null!")));
    QVERIFY(!handler.sendCommand(QStringLiteral("status")));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), error);
    QVERIFY(success.isEmpty());
}

void tst_SerialCommHandler::unbuildableRequestFailsEveryTick()
{
    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface serial;
    QVERIFY(serial.openPort(pty.slaveName(), 9600));
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);
    QSignalSpy success(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);

    handler.startPeriodicRequest(QStringLiteral("listenOnly"), 20);
    QTRY_VERIFY(failed.count() >= 3);
    QVERIFY(handler.isPeriodicRequestActive()); // failures never stop the poll
    handler.stopPeriodicRequest();
    for (const QList<QVariant> &args : failed)
        QCOMPARE(args.at(0).toString(), QStringLiteral("Failed to generate request frame"));
    QVERIFY(success.isEmpty());
    QCOMPARE(pty.readAvailable(), QByteArray());
}

void tst_SerialCommHandler::closedPortIsAFailure()
{
    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);
    SerialInterface serial; // never opened
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);
    QSignalSpy success(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy sent(&handler, &SerialCommHandler::requestSent);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);

    QVERIFY(!handler.sendCommand(QStringLiteral("status")));
    QVERIFY(success.isEmpty());
    QVERIFY(sent.isEmpty());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Serial port is not open"));
}

void tst_SerialCommHandler::lostPortIsAFailure()
{
    ProtocolConfig config;
    QVERIFY(config.loadConfig(m_protocolPath));
    ProtocolFrame frame;
    frame.setProtocolConfig(&config);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface serial;
    QVERIFY(serial.openPort(pty.slaveName(), 9600));
    pty.closeSlave();
    SerialCommHandler handler(&serial);
    handler.setProtocolFrame(&frame);
    handler.setProtocolConfig(&config);
    QSignalSpy success(&handler, &SerialCommHandler::sendSuccess);
    QSignalSpy failed(&handler, &SerialCommHandler::sendFailed);
    QSignalSpy lost(&serial, &SerialInterface::portLost);

    QVERIFY(handler.sendCommand(QStringLiteral("status")));
    QCOMPARE(success.count(), 1);
    pty.hangUp();
    QVERIFY(!handler.sendCommand(QStringLiteral("status")));
    QCOMPARE(success.count(), 1);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QTRY_COMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(tst_SerialCommHandler)
#include "tst_serialcommhandler.moc"
