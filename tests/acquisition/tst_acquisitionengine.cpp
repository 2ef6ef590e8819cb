// The acquisition engine over real pseudo-terminals: what it tells its consumers, and how it
// comes back after the line goes away.

#include "../serial/testpty.h"
#include "acquisition/acquisitionengine.h"
#include "protocol/protocolconfig.h"
#include "responseencoder.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kProtocol = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");

QByteArray answer(const ProtocolConfig &config, const QString &command, int seed,
                  bool badChecksum = false)
{
    const CommandDefinition definition = config.command(command);
    QList<quint64> raws;
    for (int i = 0; i < definition.dataSegments.size(); ++i)
        raws.append(quint64(3300 + seed + i));
    return ResponseEncoder::encode(config, definition, raws, badChecksum);
}

// Reads what the engine wrote until a whole request is there.
QByteArray readRequest(TestPty &pty)
{
    QByteArray written;
    QElapsedTimer clock;
    clock.start();
    while (!written.contains('~') && clock.elapsed() < 3000) {
        QTest::qWait(5);
        written += pty.readAvailable();
    }
    return written;
}

QList<AcquisitionEvent::Kind> kinds(const QSignalSpy &spy)
{
    QList<AcquisitionEvent::Kind> out;
    for (const QList<QVariant> &args : spy)
        out.append(args.at(0).value<AcquisitionEvent>().kind);
    return out;
}

} // namespace

class TestAcquisitionEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pollsAndDecodes();
    void unmatchedAndBadChecksum();
    void refusesToStart_data();
    void refusesToStart();
    void lossWithoutReconnectEndsTheRun();
    void reconnectsWhenThePortReturns();
    void reconnectOffWhileWaitingStops();
    void waitsForAPortThatIsNotThereYet();
    void intervalChangeTakesEffect();

private:
    AcquisitionSettings settingsFor(const QString &port) const;
    std::unique_ptr<ProtocolConfig> m_config;
};

void TestAcquisitionEngine::initTestCase()
{
    m_config = std::make_unique<ProtocolConfig>();
    QVERIFY(m_config->loadConfig(kProtocol));
}

AcquisitionSettings TestAcquisitionEngine::settingsFor(const QString &port) const
{
    AcquisitionSettings settings;
    settings.port = port;
    settings.baudRate = 9600;
    settings.intervalMs = 200;
    return settings;
}

void TestAcquisitionEngine::pollsAndDecodes()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    QSignalSpy traffic(&engine, &AcquisitionEngine::frameTraffic);
    QSignalSpy samples(&engine, &AcquisitionEngine::sampleDecoded);
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);

    QVERIFY(engine.start(settingsFor(pty.slaveName())));
    QCOMPARE(engine.state(), AcquisitionEngine::State::Running);
    QCOMPARE(engine.settings().command, AcquisitionEngine::defaultCommand(m_config.get()));
    QCOMPARE(kinds(events), QList<AcquisitionEvent::Kind>{AcquisitionEvent::Kind::Started});

    const QByteArray request = readRequest(pty);
    QCOMPARE(request, m_config->buildRequestFrame(engine.settings().command));
    QVERIFY(!traffic.isEmpty());
    const auto tx = traffic.first().at(0).value<FrameRecord>();
    QCOMPARE(tx.direction, FrameRecord::Direction::Tx);
    QCOMPARE(tx.text, QString::fromLatin1(request));
    QCOMPARE(tx.command, engine.settings().command);
    QVERIFY(qAbs(tx.timeMs - QDateTime::currentMSecsSinceEpoch()) < 5000);

    // The answer in two pieces, as a slow line delivers it.
    const QByteArray frame = answer(*m_config, engine.settings().command, 7);
    QVERIFY(pty.write(frame.left(30)));
    QTest::qWait(30);
    QVERIFY(pty.write(frame.mid(30)));
    QTRY_COMPARE(samples.size(), 1);
    const auto sample = samples.first().at(0).value<Sample>();
    QCOMPARE(sample.frame, QString::fromLatin1(frame));
    QCOMPARE(sample.command, engine.settings().command);
    QCOMPARE(sample.checksum, FrameRecord::Checksum::Ok);
    QCOMPARE(sample.receivedAt.toMSecsSinceEpoch(), sample.timeMs);
    QVERIFY(sample.values.contains(QStringLiteral("Vcell1")));
    QVERIFY(sample.values.contains(QStringLiteral("data_maxv")));
    const auto rx = traffic.last().at(0).value<FrameRecord>();
    QCOMPARE(rx.direction, FrameRecord::Direction::Rx);
    QCOMPARE(rx.text, sample.frame);
    QCOMPARE(engine.stats().requestsSent, 1);
    QCOMPARE(engine.stats().framesReceived, 1);

    engine.stop();
    QCOMPARE(kinds(events).last(), AcquisitionEvent::Kind::Stopped);
    engine.stop();
    QCOMPARE(kinds(events).count(AcquisitionEvent::Kind::Stopped), 1);
}

void TestAcquisitionEngine::unmatchedAndBadChecksum()
{
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    QSignalSpy traffic(&engine, &AcquisitionEngine::frameTraffic);
    QSignalSpy samples(&engine, &AcquisitionEngine::sampleDecoded);
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    const QString command = AcquisitionEngine::defaultCommand(m_config.get());

    // A frame no command answers is still traffic, with no command, and gives no sample.
    engine.processFrame(QStringLiteral(":0102030000FC~"));
    QCOMPARE(traffic.size(), 1);
    QVERIFY(traffic.first().at(0).value<FrameRecord>().command.isEmpty());
    QCOMPARE(samples.size(), 0);
    QCOMPARE(engine.stats().framesUnmatched, 1);

    const QString bad = QString::fromLatin1(answer(*m_config, command, 3, true));
    engine.processFrame(bad);
    QCOMPARE(samples.size(), 1);
    QCOMPARE(samples.first().at(0).value<Sample>().checksum, FrameRecord::Checksum::Mismatch);
    QCOMPARE(traffic.last().at(0).value<FrameRecord>().checksum, FrameRecord::Checksum::Mismatch);
    QCOMPARE(kinds(events),
             QList<AcquisitionEvent::Kind>{AcquisitionEvent::Kind::ChecksumMismatch});
    QCOMPARE(events.first().at(0).value<AcquisitionEvent>().detail, bad);
    QCOMPARE(engine.stats().checksumErrors, 1);
}

void TestAcquisitionEngine::refusesToStart_data()
{
    QTest::addColumn<bool>("withProtocol");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("error");

    QTest::newRow("no protocol") << false << QStringLiteral("pty") << QString()
                                 << int(AcquisitionEngine::StartError::NoProtocol);
    QTest::newRow("unknown command") << true << QStringLiteral("pty") << QStringLiteral("nope")
                                     << int(AcquisitionEngine::StartError::NoCommand);
    QTest::newRow("no port") << true << QString() << QString()
                             << int(AcquisitionEngine::StartError::BadSettings);
    QTest::newRow("port that does not exist")
            << true << QStringLiteral("/nonexistent/ttyBMS") << QString()
            << int(AcquisitionEngine::StartError::OpenFailed);
}

void TestAcquisitionEngine::refusesToStart()
{
    QFETCH(bool, withProtocol);
    QFETCH(QString, port);
    QFETCH(QString, command);
    QFETCH(int, error);
    TestPty pty;
    AcquisitionEngine engine;
    if (withProtocol)
        engine.setProtocolConfig(m_config.get());
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    AcquisitionSettings settings =
            settingsFor(port == QLatin1String("pty") ? pty.slaveName() : port);
    settings.command = command;
    QVERIFY(!engine.start(settings));
    QCOMPARE(int(engine.startError()), error);
    QVERIFY(!engine.lastError().isEmpty());
    QCOMPARE(engine.state(), AcquisitionEngine::State::Stopped);
    QVERIFY(!kinds(events).contains(AcquisitionEvent::Kind::Started));
    // Without reconnecting nothing is waited for either.
    QCOMPARE(engine.startOrWait(settings), false);
}

void TestAcquisitionEngine::lossWithoutReconnectEndsTheRun()
{
    auto pty = std::make_unique<TestPty>();
    pty->closeSlave();
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    QVERIFY(engine.start(settingsFor(pty->slaveName())));
    readRequest(*pty);
    pty.reset(); // the device goes away
    QTRY_COMPARE(engine.state(), AcquisitionEngine::State::Stopped);
    const QList<AcquisitionEvent::Kind> seen = kinds(events);
    QCOMPARE(seen.count(AcquisitionEvent::Kind::PortLost), 1);
    QCOMPARE(seen.last(), AcquisitionEvent::Kind::Stopped);
    QCOMPARE(engine.stats().portLosses, 1);
    QTest::qWait(1300);
    QCOMPARE(engine.state(), AcquisitionEngine::State::Stopped);
}

void TestAcquisitionEngine::reconnectsWhenThePortReturns()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("bms"));
    auto first = std::make_unique<TestPty>();
    first->closeSlave();
    QVERIFY(QFile::link(first->slaveName(), link));

    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    QSignalSpy samples(&engine, &AcquisitionEngine::sampleDecoded);
    AcquisitionSettings settings = settingsFor(link);
    settings.reconnect = true;
    QVERIFY(engine.start(settings));
    readRequest(*first);
    QVERIFY(first->write(answer(*m_config, engine.settings().command, 1)));
    QTRY_COMPARE(samples.size(), 1);

    first.reset();
    QVERIFY(QFile::remove(link));
    QTRY_COMPARE(engine.state(), AcquisitionEngine::State::Reconnecting);
    QVERIFY(engine.isActive());
    QTest::qWait(1200); // retries find nothing meanwhile
    QCOMPARE(engine.state(), AcquisitionEngine::State::Reconnecting);

    // The device returns on another line under the same path.
    TestPty second;
    second.closeSlave();
    QVERIFY(QFile::link(second.slaveName(), link));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(engine.state() == AcquisitionEngine::State::Running, 3000);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    const QByteArray request = readRequest(second);
    QCOMPARE(request,
             m_config->buildRequestFrame(settings.command.isEmpty() ? engine.settings().command
                                                                    : settings.command));
    QVERIFY(second.write(answer(*m_config, engine.settings().command, 2)));
    QTRY_COMPARE(samples.size(), 2);

    const QList<AcquisitionEvent::Kind> seen = kinds(events);
    QCOMPARE(seen.count(AcquisitionEvent::Kind::PortLost), 1);
    QCOMPARE(seen.count(AcquisitionEvent::Kind::Reconnected), 1);
    QCOMPARE(seen.count(AcquisitionEvent::Kind::Started), 1);
    QCOMPARE(seen.count(AcquisitionEvent::Kind::Stopped), 0);
    QCOMPARE(engine.stats().reconnects, 1);
    QCOMPARE(engine.stats().portLosses, 1);
    QCOMPARE(engine.currentPort(), link);
    QCOMPARE(engine.settings().intervalMs, 200);
}

void TestAcquisitionEngine::reconnectOffWhileWaitingStops()
{
    auto pty = std::make_unique<TestPty>();
    pty->closeSlave();
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    AcquisitionSettings settings = settingsFor(pty->slaveName());
    settings.reconnect = true;
    QVERIFY(engine.start(settings));
    readRequest(*pty);
    pty.reset();
    QTRY_COMPARE(engine.state(), AcquisitionEngine::State::Reconnecting);
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    engine.setReconnect(false);
    QCOMPARE(engine.state(), AcquisitionEngine::State::Stopped);
    QCOMPARE(kinds(events), QList<AcquisitionEvent::Kind>{AcquisitionEvent::Kind::Stopped});
}

void TestAcquisitionEngine::waitsForAPortThatIsNotThereYet()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("later"));
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    QSignalSpy events(&engine, &AcquisitionEngine::linkEvent);
    AcquisitionSettings settings = settingsFor(link);
    settings.reconnect = true;
    QVERIFY(engine.startOrWait(settings));
    QCOMPARE(engine.state(), AcquisitionEngine::State::Reconnecting);
    QCOMPARE(engine.startError(), AcquisitionEngine::StartError::OpenFailed);

    TestPty pty;
    pty.closeSlave();
    QVERIFY(QFile::link(pty.slaveName(), link));
    QTRY_VERIFY_WITH_TIMEOUT(engine.state() == AcquisitionEngine::State::Running, 3000);
    QVERIFY(!readRequest(pty).isEmpty());
    // The first open of a run starts it; it is not a reconnect.
    QCOMPARE(kinds(events).count(AcquisitionEvent::Kind::Started), 1);
    QCOMPARE(kinds(events).count(AcquisitionEvent::Kind::Reconnected), 0);
    QCOMPARE(kinds(events).count(AcquisitionEvent::Kind::SerialError), 0);
    QCOMPARE(engine.stats().reconnects, 0);
}

void TestAcquisitionEngine::intervalChangeTakesEffect()
{
    TestPty pty;
    pty.closeSlave();
    AcquisitionEngine engine;
    engine.setProtocolConfig(m_config.get());
    AcquisitionSettings settings = settingsFor(pty.slaveName());
    settings.intervalMs = 60000;
    QVERIFY(engine.start(settings));
    readRequest(pty);
    engine.setInterval(100);
    QTest::qWait(550);
    // One request at once on the change, then one every 100 ms.
    const int requests = int(pty.readAvailable().count('~'));
    QVERIFY2(requests >= 4 && requests <= 7, qPrintable(QString::number(requests)));
    QCOMPARE(engine.settings().intervalMs, 100);
}

QTEST_GUILESS_MAIN(TestAcquisitionEngine)
#include "tst_acquisitionengine.moc"
