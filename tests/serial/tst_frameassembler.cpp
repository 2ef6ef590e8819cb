#include "serial/frameassembler.h"

#include <QRandomGenerator>
#include <QTest>

using Chunks = QList<QByteArray>;

class tst_FrameAssembler : public QObject
{
    Q_OBJECT

private slots:
    void feed_data();
    void feed();
    void bufferStaysBounded_data();
    void bufferStaysBounded();
    void normalizeFrame_data();
    void normalizeFrame();
    void randomStreamKeepsEveryCleanFrame();

private:
    static QStringList feedAll(FrameAssembler &assembler, const Chunks &chunks);
};

QStringList tst_FrameAssembler::feedAll(FrameAssembler &assembler, const Chunks &chunks)
{
    QStringList frames;
    for (const QByteArray &chunk : chunks) {
        assembler.append(chunk);
        QString frame;
        while (assembler.takeFrame(frame))
            frames << frame;
        assembler.trim();
    }
    return frames;
}

void tst_FrameAssembler::feed_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("one frame") << Chunks{":01C2~"} << QStringList{":01C2~"} << QByteArray();
    QTest::newRow("two frames in one read")
            << Chunks{":01~:02~"} << QStringList{":01~", ":02~"} << QByteArray();
    QTest::newRow("split over reads")
            << Chunks{":01C2", "10", "00~"} << QStringList{":01C21000~"} << QByteArray();
    QTest::newRow("split at the end mark")
            << Chunks{":01", "~"} << QStringList{":01~"} << QByteArray();
    QTest::newRow("garbage before")
            << Chunks{"xx\x01\xff:01~"} << QStringList{":01~"} << QByteArray();
    QTest::newRow("garbage between")
            << Chunks{":01~zz\r\n\x7f:02~"} << QStringList{":01~", ":02~"} << QByteArray();
    QTest::newRow("CR LF inside") << Chunks{":01\r\n02\r\n~"} << QStringList{":0102~"}
                                  << QByteArray();
    QTest::newRow("high bytes inside") << Chunks{":0\x80\xfe"
                                                 "1~"}
                                       << QStringList{":01~"} << QByteArray();
    QTest::newRow("repeated start mark")
            << Chunks{":01C2:0342~"} << QStringList{":0342~"} << QByteArray();
    QTest::newRow("repeated start mark across reads")
            << Chunks{":01C2", "10:03", "42~"} << QStringList{":0342~"} << QByteArray();
    QTest::newRow("incomplete frame kept")
            << Chunks{":0102"} << QStringList{} << QByteArray(":0102");
    QTest::newRow("bytes after the last frame kept")
            << Chunks{":01~ab"} << QStringList{":01~"} << QByteArray("ab");
    // The tail of a frame whose start was lost must not stall the frames behind it.
    QTest::newRow("end mark before first start")
            << Chunks{"3A~:01~:02~"} << QStringList{":01~", ":02~"} << QByteArray();
    QTest::newRow("lost tail then a split frame")
            << Chunks{"CE4~:01", "02~"} << QStringList{":0102~"} << QByteArray();
    QTest::newRow("lost tail in its own read")
            << Chunks{"0BB8~", ":01~"} << QStringList{":01~"} << QByteArray();
    QTest::newRow("several stray end marks")
            << Chunks{"~~a~:01~"} << QStringList{":01~"} << QByteArray();
    QTest::newRow("stray end mark then partial frame")
            << Chunks{"a~:01"} << QStringList{} << QByteArray(":01");
    QTest::newRow("only an end mark") << Chunks{"~"} << QStringList{} << QByteArray();
    QTest::newRow("empty frame") << Chunks{":~"} << QStringList{":~"} << QByteArray();
    QTest::newRow("many frames, one read")
            << Chunks{QByteArray(":0A~").repeated(300)} << QStringList(300, QStringLiteral(":0A~"))
            << QByteArray();
    {
        // A complete frame longer than the bound still comes out when it arrives in one read.
        const QByteArray big = ':' + QByteArray(1500, 'A') + '~';
        QTest::newRow("long frame in one read")
                << Chunks{big} << QStringList{QString::fromLatin1(big)} << QByteArray();
    }
}

void tst_FrameAssembler::feed()
{
    QFETCH(Chunks, chunks);
    QFETCH(QStringList, frames);
    QFETCH(QByteArray, left);

    FrameAssembler assembler;
    QCOMPARE(feedAll(assembler, chunks), frames);
    QCOMPARE(assembler.pending().toByteArray(), left);
}

void tst_FrameAssembler::bufferStaysBounded_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QStringList>("framesAfter");

    QTest::newRow("start mark then endless data in one read")
            << Chunks{':' + QByteArray(5000, 'A')} << QByteArray() << QStringList{":0102~"};
    Chunks trickle{":"};
    for (int i = 0; i < 20; ++i)
        trickle << QByteArray(100, '5');
    // Overflows at the 11th piece; what follows holds no start mark and is dropped later.
    QTest::newRow("start mark then endless data, trickled")
            << trickle << QByteArray(900, '5') << QStringList{":0102~"};
    QTest::newRow("noise without marks")
            << Chunks{QByteArray(3000, 'x')} << QByteArray() << QStringList{":0102~"};
    QTest::newRow("overflow keeps the last start mark")
            << Chunks{QByteArray(1100, 'x') + ":12"} << QByteArray(":12") << QStringList{":0102~"};
    QTest::newRow("exactly at the bound is kept")
            << Chunks{':' + QByteArray(1023, 'B')} << ':' + QByteArray(1023, 'B')
            << QStringList{":0102~"};
}

void tst_FrameAssembler::bufferStaysBounded()
{
    QFETCH(Chunks, chunks);
    QFETCH(QByteArray, left);
    QFETCH(QStringList, framesAfter);

    FrameAssembler assembler;
    for (const QByteArray &chunk : chunks) {
        feedAll(assembler, {chunk});
        QVERIFY2(assembler.size() <= FrameAssembler::maxBufferSize,
                 QByteArray::number(assembler.size()));
    }
    QCOMPARE(assembler.pending().toByteArray(), left);
    // Framing goes on normally afterwards.
    QCOMPARE(feedAll(assembler, {":0102~"}), framesAfter);
}

void tst_FrameAssembler::normalizeFrame_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain") << QByteArray(":01C2~") << QStringLiteral(":01C2~");
    QTest::newRow("leading bytes") << QByteArray("ab:01~") << QStringLiteral(":01~");
    QTest::newRow("restart at later start") << QByteArray(":AB:CD~") << QStringLiteral(":CD~");
    QTest::newRow("control and high bytes")
            << QByteArray(":\t0\r\n1\x1b\x80\xff~") << QStringLiteral(":01~");
    QTest::newRow("space and del") << QByteArray(": 1\x7f~") << QStringLiteral(": 1~");
    QTest::newRow("stops at first end") << QByteArray(":01~02~") << QStringLiteral(":01~");
    QTest::newRow("no start") << QByteArray("01~") << QString();
    QTest::newRow("no end") << QByteArray(":01") << QString();
    QTest::newRow("end before start only") << QByteArray("~:01") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void tst_FrameAssembler::normalizeFrame()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(FrameAssembler::normalizeFrame(bytes), text);
}

// Clean frames separated by noise that holds neither mark must all come out, in order, whatever
// the cut of the stream into reads; and nothing emitted may hold a byte outside printable ASCII.
void tst_FrameAssembler::randomStreamKeepsEveryCleanFrame()
{
    QRandomGenerator rng(20261209);
    for (int round = 0; round < 50; ++round) {
        QByteArray stream;
        QStringList expected;
        const int count = rng.bounded(1, 40);
        for (int i = 0; i < count; ++i) {
            const int noise = rng.bounded(0, 30);
            for (int k = 0; k < noise; ++k) {
                char c;
                do {
                    c = char(rng.bounded(256));
                } while (c == ':' || c == '~');
                stream += c;
            }
            QByteArray frame = ":";
            const int len = rng.bounded(0, 60);
            for (int k = 0; k < len; ++k)
                frame += "0123456789ABCDEF"[rng.bounded(16)];
            frame += '~';
            expected << QString::fromLatin1(frame);
            // Line ends inside the frame on the wire are dropped by the framing.
            if (len > 2 && rng.bounded(4) == 0)
                frame.insert(rng.bounded(1, int(frame.size()) - 1), "\r\n");
            stream += frame;
        }
        Chunks chunks;
        for (qsizetype pos = 0; pos < stream.size();) {
            const qsizetype n = qMin<qsizetype>(rng.bounded(1, 200), stream.size() - pos);
            chunks << stream.mid(pos, n);
            pos += n;
        }
        FrameAssembler assembler;
        const QStringList frames = feedAll(assembler, chunks);
        QCOMPARE(frames, expected);
    }

    // Arbitrary bytes: every emitted frame is well formed and the bound holds after every read.
    FrameAssembler assembler;
    for (int i = 0; i < 2000; ++i) {
        QByteArray chunk(rng.bounded(1, 300), Qt::Uninitialized);
        for (char &c : chunk) {
            const int r = rng.bounded(20);
            c = r == 0 ? ':' : r == 1 ? '~' : char(rng.bounded(256));
        }
        assembler.append(chunk);
        QString frame;
        while (assembler.takeFrame(frame)) {
            QVERIFY(frame.startsWith(u':'));
            QVERIFY(frame.endsWith(u'~'));
            QCOMPARE(frame.count(u':'), 1);
            QCOMPARE(frame.count(u'~'), 1);
            for (QChar c : frame)
                QVERIFY(c.unicode() >= 32 && c.unicode() <= 126);
        }
        assembler.trim();
        QVERIFY(assembler.size() <= FrameAssembler::maxBufferSize);
    }
}

QTEST_APPLESS_MAIN(tst_FrameAssembler)
#include "tst_frameassembler.moc"
