#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "protocoltestfiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestRequestFrame : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileCount = 0;

    // One command "c" with the given code and request object, under the given frame object.
    bool loadCommand(ProtocolConfig &config, const QByteArray &frame, const QByteArray &code,
                     const QByteArray &request)
    {
        QByteArray members = R"("name": "T", "version": "1", )";
        if (!frame.isEmpty())
            members += "\"frame\": " + frame + ", ";
        members += "\"commands\": [{\"name\": \"c\", \"code\": \"" + code
                + "\", \"request\": " + request + "}]";
        const QString path =
                writeTextFile(m_dir.path(), QStringLiteral("r%1.json").arg(++m_fileCount),
                              protocolDocument(members));
        return config.loadConfig(path);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void build_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray marks = "{}";
        QTest::newRow("payload, computed length")
                << marks << QByteArray("42")
                << QByteArray(R"({"addr": "01", "cmd": "42", "ver": "10", "payload": "0A0B"})")
                << QByteArray(":01421000020A0B32~");
        QTest::newRow("no payload") << marks << QByteArray("")
                                    << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01"})")
                                    << QByteArray(":01030100001A~");
        QTest::newRow("code when cmd empty")
                << marks << QByteArray("03")
                << QByteArray(R"({"addr": "01", "cmd": "", "ver": "01"})")
                << QByteArray(":01030100001A~");
        QTest::newRow("cmd wins over code")
                << marks << QByteArray("7F")
                << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01"})")
                << QByteArray(":01030100001A~");
        QTest::newRow("stored length sent unchanged")
                << marks << QByteArray("42")
                << QByteArray(R"({"addr": "01", "cmd": "42", "ver": "10", "len": "0005",
                                 "payload": "0A0B"})")
                << QByteArray(":01421000050A0B2F~");
        QTest::newRow("one-digit stored length")
                << marks << QByteArray("03")
                << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01", "len": "7"})")
                << QByteArray(":0103010773~");
        QTest::newRow("lower-case fields")
                << marks << QByteArray("")
                << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01", "payload": "aa",
                                 "len": "2"})")
                << QByteArray(":01030102AAF6~");
        QTest::newRow("multi-character marks")
                << QByteArray(R"({"SOI": "##", "EOI": "$$"})") << QByteArray("")
                << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01"})")
                << QByteArray("##01030100001A$$");
        QTest::newRow("empty marks") << QByteArray(R"({"SOI": "", "EOI": ""})") << QByteArray("")
                                     << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01"})")
                                     << QByteArray("01030100001A");
        QTest::newRow("no frame object")
                << QByteArray() << QByteArray("")
                << QByteArray(R"({"addr": "01", "cmd": "03", "ver": "01"})")
                << QByteArray("01030100001A");
        QTest::newRow("raw sent as stored")
                << marks << QByteArray("42") << QByteArray(R"({"raw": " :01abc\u00b0~ "})")
                << QByteArray(":01abc\xc2\xb0~");
    }

    void build()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, request);
        ProtocolConfig config;
        QVERIFY(loadCommand(config, frame, code, request));
        QCOMPARE(config.buildRequestFrame(QStringLiteral("c")), fetched<QByteArray>("expected"));
    }

    void longPayloadKeepsAllLengthDigits()
    {
        // 0x10000 bytes need five digits; padded to an even count and never truncated.
        const QByteArray payload(2 * 0x10000, 'A');
        ProtocolConfig config;
        QVERIFY(loadCommand(config, "{}", "42",
                            "{\"addr\": \"01\", \"cmd\": \"42\", \"ver\": \"10\", \"payload\": \""
                                    + payload + "\"}"));
        const QByteArray frame = config.buildRequestFrame(QStringLiteral("c"));
        QCOMPARE(frame.mid(7, 6), QByteArray("010000"));
        QCOMPARE(frame.size(), 1 + 6 + 6 + payload.size() + 2 + 1);
        QCOMPARE(frame.mid(frame.size() - 3, 2),
                 ProtocolConfig::checksum(frame.mid(1, frame.size() - 4)));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("warning");

        const QByteArray ok = R"({"addr": "01", "cmd": "03", "ver": "01"})";
        QTest::newRow("unknown name") << ok << "x"
                                      << "Command not found in configuration";
        QTest::newRow("name differs in case") << ok << "C"
                                              << "Command not found in configuration";
        QTest::newRow("no version") << QByteArray(R"({"addr": "01", "cmd": "03"})") << "c"
                                    << "Command has no request definition";
        QTest::newRow("empty raw") << QByteArray(R"({"raw": ""})") << "c"
                                   << "Command has no request definition";
    }

    void refused()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, name);
        QFETCH(QString, warning);
        ProtocolConfig config;
        QVERIFY(loadCommand(config, "{}", "", request));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(warning)));
        QVERIFY(config.buildRequestFrame(name).isEmpty());
    }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("worked example") << QByteArray("01421000020A0B") << QByteArray("32");
        QTest::newRow("empty") << QByteArray() << QByteArray("FF");
        QTest::newRow("single digit") << QByteArray("0") << QByteArray("CF");
        QTest::newRow("padded result") << QByteArray("\xff") << QByteArray("00");
        // Bytes of the UTF-8 text are summed, not characters.
        QTest::newRow("multi-byte character") << QByteArray("\xc3\xbf") << QByteArray("7D");
        QTest::newRow("sum wraps") << QByteArray(256, '\x01') << QByteArray("FF");
    }

    void checksum()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(ProtocolConfig::checksum(text), fetched<QByteArray>("expected"));
    }

    void frameFacade()
    {
        ProtocolFrame frame;
        QVERIFY(frame.generateRequestFrame(QStringLiteral("c")).isEmpty());

        auto *config = new ProtocolConfig(&frame);
        QVERIFY(loadCommand(*config, "{}", "", R"({"addr": "01", "cmd": "03", "ver": "01"})"));
        frame.setProtocolConfig(config);
        QCOMPARE(frame.generateRequestFrame(QStringLiteral("c")), QByteArray(":01030100001A~"));

        // A destroyed protocol is never used through a stale pointer.
        delete config;
        QCOMPARE(frame.protocolConfig(), nullptr);
        QVERIFY(frame.generateRequestFrame(QStringLiteral("c")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRequestFrame)
#include "tst_requestframe.moc"
