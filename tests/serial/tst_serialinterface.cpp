#include "serial/serialinterface.h"

#include "testpty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Chunks = QList<QByteArray>;

class tst_SerialInterface : public QObject
{
    Q_OBJECT

private slots:
    void openInvalidPortFails();
    void opensVirtualPortsByPath();
    void receive_data();
    void receive();
    void pendingInputIsDrainedBeforeTheWrite();
    void sendWritesTheFrame();
    void sendOnClosedPortFails();
    void everyUnansweredRequestTimesOutOnce();
    void answersStopSupervisionAndItResumes();
    void eachFrameSettlesOneRequest_data();
    void eachFrameSettlesOneRequest();
    void slowAnswers_data();
    void slowAnswers();
    void longFrameInPieces_data();
    void longFrameInPieces();
    void hangUpIsReportedOnce();
    void hangUpDuringWriteIsReportedOnce();
    void reopenAfterLoss();

private:
    static bool open(SerialInterface &si, const TestPty &pty)
    {
        return si.openPort(pty.slaveName(), 9600);
    }
};

void tst_SerialInterface::openInvalidPortFails()
{
    SerialInterface si;
    QSignalSpy errors(&si, &SerialInterface::errorOccurred);
    QVERIFY(!si.openPort(QStringLiteral("/nonexistent/cellscribe-port"), 9600));
    QVERIFY(!si.isOpen());
    QVERIFY(!errors.isEmpty());
    QVERIFY(errors.constLast().at(0).toString().startsWith(
            QStringLiteral("Failed to open port /nonexistent/cellscribe-port: ")));
}

void tst_SerialInterface::opensVirtualPortsByPath()
{
    TestPty pty;
    QVERIFY(pty.isValid());

    // Through a symbolic link, as socat or the simulator make one.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBMS"));
    QVERIFY(QFile::link(pty.slaveName(), link));

    SerialInterface si;
    QSignalSpy frames(&si, &SerialInterface::dataReceived);
    QVERIFY(si.openPort(link, 115200));
    QCOMPARE(si.portName(), link);
    QVERIFY(pty.write(":01~"));
    QTRY_COMPARE(frames.count(), 1);
    si.closePort();
    QVERIFY(!si.isOpen());

    QVERIFY(open(si, pty));
    QVERIFY(pty.write(":02~"));
    QTRY_COMPARE(frames.count(), 2);
    QCOMPARE(frames.at(1).at(0).toString(), QStringLiteral(":02~"));
}

void tst_SerialInterface::receive_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<qsizetype>("left");

    QTest::newRow("two frames in one read")
            << Chunks{":01C2~:0342~"} << QStringList{":01C2~", ":0342~"} << qsizetype(0);
    QTest::newRow("frame split over reads")
            << Chunks{":01C210", "0004~"} << QStringList{":01C2100004~"} << qsizetype(0);
    QTest::newRow("garbage before and between")
            << Chunks{QByteArrayLiteral("\x00\x13zz:01~\xff\xfe#:02~")}
            << QStringList{":01~", ":02~"} << qsizetype(0);
    QTest::newRow("CR LF inside") << Chunks{":01\r\nC2\r\n~\r\n"} << QStringList{":01C2~"}
                                  << qsizetype(2);
    QTest::newRow("repeated start mark")
            << Chunks{":01C2", "1000:0142~"} << QStringList{":0142~"} << qsizetype(0);
    QTest::newRow("tail of a lost frame first")
            << Chunks{"0BB81A~:01~", ":02", "~"} << QStringList{":01~", ":02~"} << qsizetype(0);
    QTest::newRow("start mark then endless data")
            << Chunks{':' + QByteArray(700, 'A'), QByteArray(700, 'B'), ":05~"}
            << QStringList{":05~"} << qsizetype(0);
}

void tst_SerialInterface::receive()
{
    QFETCH(Chunks, chunks);
    QFETCH(QStringList, frames);
    QFETCH(qsizetype, left);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QStringList got;
    connect(&si, &SerialInterface::dataReceived, this, [&](const QString &f) { got << f; });

    quint64 sent = 0;
    for (const QByteArray &chunk : chunks) {
        QVERIFY(pty.write(chunk));
        sent += quint64(chunk.size());
        // One chunk at a time, so each one is a read of its own.
        QTRY_COMPARE(si.receivedBytes(), sent);
        QVERIFY(si.bufferedBytes() <= FrameAssembler::maxBufferSize);
    }
    QCOMPARE(got, frames);
    QCOMPARE(si.bufferedBytes(), left);
}

void tst_SerialInterface::pendingInputIsDrainedBeforeTheWrite()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));

    QStringList events;
    connect(&si, &SerialInterface::busBusy, this, [&] { events << QStringLiteral("busy"); });
    connect(&si, &SerialInterface::dataReceived, this, [&](const QString &f) {
        // The request must not be on the wire yet.
        events << f + (pty.pendingToDevice() == 0 ? QString() : QStringLiteral(" after write"));
    });

    QVERIFY(pty.write(":01~:02~:03"));
    QVERIFY(pty.waitInputAtPort(5000)); // no event loop ran: the bytes wait at the port
    QVERIFY(si.sendData(QStringLiteral(":010301000000~")));
    QCOMPARE(events,
             (QStringList{QStringLiteral("busy"), QStringLiteral(":01~"), QStringLiteral(":02~")}));
    QByteArray written;
    QTRY_COMPARE(written += pty.readAvailable(), QByteArray(":010301000000~"));

    // Without pending input no busBusy.
    events.clear();
    QVERIFY(si.sendData(QStringLiteral(":X~")));
    QVERIFY(events.isEmpty());
}

void tst_SerialInterface::sendWritesTheFrame()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QSignalSpy sent(&si, &SerialInterface::dataSend);

    QVERIFY(si.sendData(QStringLiteral(":01421000020A0B32~")));
    QVERIFY(si.sendError().isEmpty());
    QByteArray written;
    QTRY_COMPARE(written += pty.readAvailable(), QByteArray(":01421000020A0B32~"));
    QTRY_VERIFY(!sent.isEmpty());
    QCOMPARE(sent.constFirst().at(0).toBool(), true);

    si.setDataType(SerialInterface::Hex);
    QVERIFY(si.sendData(QStringLiteral("3a41427e")));
    written.clear();
    QTRY_COMPARE(written += pty.readAvailable(), QByteArray(":AB~"));
}

void tst_SerialInterface::sendOnClosedPortFails()
{
    SerialInterface si;
    QSignalSpy errors(&si, &SerialInterface::errorOccurred);
    QSignalSpy timeouts(&si, &SerialInterface::timeoutOccurred);
    QVERIFY(!si.sendData(QStringLiteral(":01~")));
    QCOMPARE(si.sendError(), QStringLiteral("Serial port is not open"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Serial port is not open"));
    // Nothing went out, so no answer is awaited.
    QCOMPARE(si.outstandingRequests(), 0);
    QVERIFY(!si.sendAsciiData(QStringLiteral(":01~")));
}

void tst_SerialInterface::everyUnansweredRequestTimesOutOnce()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QSignalSpy timeouts(&si, &SerialInterface::timeoutOccurred);

    // Polling faster than the response timeout: each silent request is still reported.
    for (int i = 0; i < 4; ++i) {
        QVERIFY(si.sendData(QStringLiteral(":01~")));
        QTest::qWait(150);
    }
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 4, 5000);

    // Reported again later, for as long as the device stays silent.
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 5, 5000);
    QTest::qWait(1300);
    QCOMPARE(timeouts.count(), 5);
    QCOMPARE(si.outstandingRequests(), 0);
}

void tst_SerialInterface::answersStopSupervisionAndItResumes()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QSignalSpy timeouts(&si, &SerialInterface::timeoutOccurred);
    QSignalSpy frames(&si, &SerialInterface::dataReceived);

    // Answered requests are not reported.
    for (int i = 0; i < 3; ++i) {
        QVERIFY(si.sendData(QStringLiteral(":01~")));
        QVERIFY(pty.write(":0181~"));
        QTRY_COMPARE(frames.count(), i + 1);
        QCOMPARE(si.outstandingRequests(), 0);
    }
    QTest::qWait(1300);
    QCOMPARE(timeouts.count(), 0);

    // Silence: reported.
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 1, 5000);

    // A half frame answers neither request, and is dropped once nothing is awaited.
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QVERIFY(pty.write(":0181"));
    QTRY_COMPARE(si.bufferedBytes(), 5);
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 3, 5000);
    QCOMPARE(si.bufferedBytes(), 0);

    // Answers again: supervision goes on as before.
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QVERIFY(pty.write(":0181~"));
    QTRY_COMPARE(frames.count(), 4);
    QTest::qWait(1300);
    QCOMPARE(timeouts.count(), 3);

    // Closing forgets the outstanding requests.
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    si.closePort();
    QTest::qWait(1300);
    QCOMPARE(timeouts.count(), 3);
}

void tst_SerialInterface::eachFrameSettlesOneRequest_data()
{
    // A script of line events: R the application sends a request, F the device writes a whole
    // answer, G noise without marks, H the first half of an answer, T its second half.
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("waitingAfter");
    QTest::addColumn<int>("timeouts");

    QTest::newRow("answered in turn") << "RFRFRF" << 0 << 0;
    QTest::newRow("fast polling, answers dropped") << "RFRRFRRRFRF" << 3 << 3;
    QTest::newRow("noise settles nothing") << "RGRGF" << 1 << 1;
    QTest::newRow("split answer settles once, at its end") << "RHRT" << 1 << 1;
    QTest::newRow("two answers in one read") << "RRR"
                                                "FF"
                                             << 1 << 1;
    QTest::newRow("unasked frame gives no credit") << "FRFR" << 1 << 1;
}

void tst_SerialInterface::eachFrameSettlesOneRequest()
{
    QFETCH(QString, script);
    QFETCH(int, waitingAfter);
    QFETCH(int, timeouts);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QSignalSpy timedOut(&si, &SerialInterface::timeoutOccurred);

    const QHash<QChar, QByteArray> bytes{{u'F', ":0181~"},
                                         {u'G', QByteArrayLiteral("\x05noise\r\n\xff")},
                                         {u'H', ":01"},
                                         {u'T', "81~"}};
    quint64 written = 0;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar step = script.at(i);
        if (step == u'R') {
            QVERIFY(si.sendData(QStringLiteral(":01~")));
            continue;
        }
        QByteArray chunk = bytes.value(step);
        // Consecutive answers go out in one write.
        while (step == u'F' && i + 1 < script.size() && script.at(i + 1) == u'F') {
            chunk += bytes.value(u'F');
            ++i;
        }
        QVERIFY(pty.write(chunk));
        written += quint64(chunk.size());
        QTRY_COMPARE(si.receivedBytes(), written);
    }
    QCOMPARE(si.outstandingRequests(), qsizetype(waitingAfter));
    QCOMPARE(timedOut.count(), 0); // everything above ran well inside the response time
    QTRY_COMPARE_WITH_TIMEOUT(si.outstandingRequests(), qsizetype(0), 5000);
    QCOMPARE(timedOut.count(), timeouts);
}

void tst_SerialInterface::slowAnswers_data()
{
    // What the device writes, each piece at its time in ms after the request went out.
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<Chunks>("pieces");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("timeouts");

    QTest::newRow("begins in time, ends late")
            << QList<int>{300, 1300} << Chunks{":0181", "~"} << 1 << 0;
    QTest::newRow("trickles in over two seconds")
            << QList<int>{300, 1100, 1900} << Chunks{":01", "81", "~"} << 1 << 0;
    // A half answer followed by silence is dropped and its request reported.
    QTest::newRow("stalls") << QList<int>{300} << Chunks{":0181"} << 0 << 1;
    QTest::newRow("begins too late") << QList<int>{1400} << Chunks{":0181"} << 0 << 1;
}

void tst_SerialInterface::slowAnswers()
{
    QFETCH(QList<int>, times);
    QFETCH(Chunks, pieces);
    QFETCH(int, frames);
    QFETCH(int, timeouts);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    QSignalSpy received(&si, &SerialInterface::dataReceived);
    QSignalSpy timedOut(&si, &SerialInterface::timeoutOccurred);

    QElapsedTimer clock;
    QVERIFY(si.sendData(QStringLiteral(":01~")));
    clock.start();
    for (int i = 0; i < times.size(); ++i) {
        QTest::qWait(int(qMax<qint64>(0, times.at(i) - clock.elapsed())));
        QVERIFY(pty.write(pieces.at(i)));
    }
    // Long enough for any report still due: the response time after the last byte.
    QTest::qWait(1500);
    QCOMPARE(received.count(), frames);
    QCOMPARE(timedOut.count(), timeouts);
    QCOMPARE(si.outstandingRequests(), 0);
    QCOMPARE(si.bufferedBytes(), 0);
}

void tst_SerialInterface::longFrameInPieces_data()
{
    QTest::addColumn<qsizetype>("frameSize");
    QTest::addColumn<qsizetype>("limit"); // asked for; the floor is 1024
    QTest::addColumn<bool>("emitted");

    QTest::newRow("short frame, default bound") << qsizetype(600) << qsizetype(0) << true;
    QTest::newRow("long frame within the bound") << qsizetype(3000) << qsizetype(6000) << true;
    QTest::newRow("longer than the bound") << qsizetype(3000) << qsizetype(2000) << false;
}

void tst_SerialInterface::longFrameInPieces()
{
    QFETCH(qsizetype, frameSize);
    QFETCH(qsizetype, limit);
    QFETCH(bool, emitted);

    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    si.setReceiveBufferLimit(limit);
    QVERIFY(open(si, pty));
    QSignalSpy received(&si, &SerialInterface::dataReceived);

    const QByteArray frame = ':' + QByteArray(frameSize - 2, 'A') + '~';
    quint64 written = 0;
    for (qsizetype at = 0; at < frame.size(); at += 500) {
        const QByteArray piece = frame.mid(at, 500);
        QVERIFY(pty.write(piece));
        written += quint64(piece.size());
        QTRY_COMPARE(si.receivedBytes(), written); // one piece per read
    }
    QCOMPARE(received.count(), emitted ? 1 : 0);
    if (emitted)
        QCOMPARE(received.at(0).at(0).toString().size(), frameSize);

    // Noise after an open start mark stays bounded whatever the bound.
    const QByteArray noise = ':' + QByteArray(3 * qMax<qsizetype>(limit, 1024), 'N');
    for (qsizetype at = 0; at < noise.size(); at += 1000) {
        const QByteArray piece = noise.mid(at, 1000);
        QVERIFY(pty.write(piece));
        written += quint64(piece.size());
        QTRY_COMPARE(si.receivedBytes(), written);
    }
    QVERIFY2(si.bufferedBytes() <= qMax<qsizetype>(limit, FrameAssembler::maxBufferSize),
             QByteArray::number(si.bufferedBytes()));
}

void tst_SerialInterface::hangUpIsReportedOnce()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    pty.closeSlave();
    QSignalSpy errors(&si, &SerialInterface::errorOccurred);
    QSignalSpy lost(&si, &SerialInterface::portLost);
    QSignalSpy timeouts(&si, &SerialInterface::timeoutOccurred);

    QVERIFY(si.sendData(QStringLiteral(":01~")));
    QVERIFY(pty.write(":0181")); // half a frame, then the cable is pulled
    QTRY_COMPARE(si.bufferedBytes(), 5);
    pty.hangUp();

    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(), si.portName());
    QVERIFY(!si.isOpen());
    QCOMPARE(si.bufferedBytes(), 0);
    QTest::qWait(1300);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(errors.count(), 1);
    QVERIFY(!errors.at(0).at(0).toString().isEmpty());
    QCOMPARE(timeouts.count(), 0);
}

void tst_SerialInterface::hangUpDuringWriteIsReportedOnce()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    SerialInterface si;
    QVERIFY(open(si, pty));
    pty.closeSlave();
    QSignalSpy errors(&si, &SerialInterface::errorOccurred);
    QSignalSpy lost(&si, &SerialInterface::portLost);
    QSignalSpy sent(&si, &SerialInterface::dataSend);

    pty.hangUp();
    // No event loop has run: the loss shows first in the write.
    QVERIFY(!si.sendData(QStringLiteral(":01~")));
    QVERIFY(!si.sendError().isEmpty());
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!si.isOpen());
    QTest::qWait(500);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() <= 2, QByteArray::number(errors.count()));
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.constLast().at(0).toBool(), false);

    // Polling on after the loss: clear failures, no new loss.
    QVERIFY(!si.sendData(QStringLiteral(":01~")));
    QCOMPARE(si.sendError(), QStringLiteral("Serial port is not open"));
    QCOMPARE(lost.count(), 1);
}

void tst_SerialInterface::reopenAfterLoss()
{
    SerialInterface si;
    QSignalSpy lost(&si, &SerialInterface::portLost);
    QSignalSpy frames(&si, &SerialInterface::dataReceived);
    {
        TestPty first;
        QVERIFY(first.isValid());
        QVERIFY(open(si, first));
        first.closeSlave();
        first.hangUp();
        QTRY_COMPARE(lost.count(), 1);
    }
    TestPty second;
    QVERIFY(second.isValid());
    QVERIFY(open(si, second));
    second.closeSlave();
    QVERIFY(second.write(":01~"));
    QTRY_COMPARE(frames.count(), 1);
    second.hangUp();
    QTRY_COMPARE(lost.count(), 2);
}

QTEST_GUILESS_MAIN(tst_SerialInterface)
#include "tst_serialinterface.moc"
