#include "protocol/protocolconfig.h"
#include "protocol/protocolframe.h"
#include "protocoltestfiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kCommands = R"("commands": [
    {"name": "cellV", "code": "42", "response": {"dataSegments": [
        {"name": "V1", "length": 4, "scale": 0.001},
        {"name": "V2", "length": 4, "scale": 0.001}]}},
    {"name": "mixed", "code": "01", "response": {"dataSegments": [
        {"name": "T", "length": 4, "offset": -40},
        {"name": "S", "length": 4, "scale": 1},
        {"name": "Z", "length": 0, "scale": 1},
        {"name": "N", "length": -4, "scale": 1},
        {"name": "W", "length": 8, "scale": 1},
        {"name": "X", "length": 8, "scale": 1},
        {"name": "F", "length": 4, "scale": 1},
        {"name": "L", "length": 4, "scale": 0.5, "offset": 1}]}},
    {"name": "noCode", "response": {"dataSegments": [{"name": "A", "length": 2, "scale": 1}]}},
    {"name": "high", "code": "80"}])";

const QString kVersion = QStringLiteral("ProtocolVersion");

// Same keys, same types; reals compared with tolerance.
void compareStore(const QVariantMap &actual, const QVariantMap &expected)
{
    QCOMPARE(actual.keys(), expected.keys());
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const QVariant value = actual.value(it.key());
        QCOMPARE(value.typeId(), it.value().typeId());
        if (it.value().typeId() == QMetaType::Double)
            QCOMPARE(value.toDouble(), it.value().toDouble());
        else
            QCOMPARE(value, it.value());
    }
}

} // namespace

class TestResponseFrame : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ProtocolConfig m_config;
    int m_fileCount = 0;

    QString write(const QByteArray &members)
    {
        return writeTextFile(m_dir.path(), QStringLiteral("f%1.json").arg(++m_fileCount),
                             protocolDocument(R"("name": "T", "version": "1", )" + members));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("Negative segment length in command.*mixed.*N"));
        QVERIFY(m_config.loadConfig(write(R"("frame": {}, )" + kCommands)));
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("mismatch");
        QTest::addColumn<QVariantMap>("store");

        const QVariantMap volts{{kVersion, QStringLiteral("10")}, {"V1", 3.3}, {"V2", 3.0}};
        const QVariantMap versionOnly{{kVersion, QStringLiteral("10")}};
        const QVariantMap none;

        QTest::newRow("regular frame")
                << QByteArray(":01C21000040CE40BB8A5~") << "cellV" << true << false << volts;
        QTest::newRow("lower-case hex")
                << QByteArray(":01c21000040ce40bb8a5~") << "cellV" << true << false << volts;
        QTest::newRow("bytes around the marks")
                << QByteArray("xx:01C21000040CE40BB8A5~yy") << "cellV" << true << false << volts;
        QTest::newRow("no checksum")
                << QByteArray(":01C21000040CE40BB8~") << "cellV" << true << false << volts;
        QTest::newRow("long checksum")
                << QByteArray(":01C21000040CE40BB8A5A5A5~") << "cellV" << true << false << volts;
        QTest::newRow("end mark first")
                << QByteArray("~:01C21000040CE40BB8A5~") << "cellV" << false << false << none;
        QTest::newRow("no start mark")
                << QByteArray("01C21000040CE40BB8A5~") << "cellV" << false << false << none;
        QTest::newRow("no end mark")
                << QByteArray(":01C21000040CE40BB8A5") << "cellV" << false << false << none;
        QTest::newRow("content too short")
                << QByteArray(":01C210000~") << "cellV" << false << false << none;
        QTest::newRow("empty data section")
                << QByteArray(":01C2100000~") << "cellV" << true << false << versionOnly;
        QTest::newRow("segments beyond the data")
                << QByteArray(":01C21000020CE4A5~") << "cellV" << true << false
                << QVariantMap{{kVersion, QStringLiteral("10")}, {"V1", 3.3}};
        QTest::newRow("command mismatch")
                << QByteArray(":01C31000040CE40BB8A5~") << "cellV" << false << true << none;
        QTest::newRow("command not hex")
                << QByteArray(":01ZZ1000040CE40BB8A5~") << "cellV" << false << true << none;
        QTest::newRow("declared length too long")
                << QByteArray(":01C21000060CE40BB8A5~") << "cellV" << false << false << versionOnly;
        QTest::newRow("length not hex")
                << QByteArray(":01C210000G0CE40BB8A5~") << "cellV" << false << false << versionOnly;
        QTest::newRow("unknown command")
                << QByteArray(":01C21000040CE40BB8A5~") << "nope" << false << false << none;
        QTest::newRow("command name in other case")
                << QByteArray(":01C21000040CE40BB8A5~") << "CELLV" << false << false << none;
        QTest::newRow("no code answers 80")
                << QByteArray(":0180100001FFA5~") << "noCode" << true << false
                << QVariantMap{{kVersion, QStringLiteral("10")}, {"A", 255.0}};
        QTest::newRow("no code refuses 00")
                << QByteArray(":0100100001FFA5~") << "noCode" << false << true << none;
        QTest::newRow("code 80 never matches")
                << QByteArray(":01FF100000~") << "high" << false << true << none;
        // Offset without scale, text segment, empty segment, negative width, 32-bit limit,
        // unsigned reading, then a segment whose position must not have moved backwards.
        QTest::newRow("segment kinds")
                << QByteArray(":0181100010001012G47FFFFFFF80000000ffff000200~") << "mixed" << true
                << false
                << QVariantMap{{kVersion, QStringLiteral("10")},
                               {"T", -40.0},
                               {"S", QStringLiteral("12G4")},
                               {"Z", QString()},
                               {"N", QString()},
                               {"W", 2147483647.0},
                               {"X", QStringLiteral("80000000")},
                               {"F", 65535.0},
                               {"L", 2.0}};
    }

    void parse()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, command);
        if (fetched<bool>("mismatch")) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("CMD MISMATCH! Expected:"));
            QTest::ignoreMessage(
                    QtWarningMsg,
                    QRegularExpression("This response frame does not belong to command:"));
        }
        QVariantMap store;
        QCOMPARE(m_config.parseResponseFrame(frame, command, store), fetched<bool>("ok"));
        compareStore(store, fetched<QVariantMap>("store"));
    }

    void marks_data()
    {
        QTest::addColumn<QByteArray>("frameObject");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("ok");

        QTest::newRow("no frame object") << QByteArray() << QByteArray(":01C2100000A5~") << false;
        QTest::newRow("empty marks") << QByteArray(R"("frame": {"SOI": "", "EOI": ""}, )")
                                     << QByteArray("01C2100000A5") << false;
        QTest::newRow("multi-character marks")
                << QByteArray(R"("frame": {"SOI": "<<", "EOI": ">>"}, )")
                << QByteArray("<<01C2100000A5>>") << true;
        QTest::newRow("end mark overlapping start mark")
                << QByteArray(R"("frame": {"SOI": "ab", "EOI": "b"}, )")
                << QByteArray("ab01C2100000A5b") << false;
    }

    void marks()
    {
        QFETCH(QByteArray, frameObject);
        ProtocolConfig config;
        QVERIFY(config.loadConfig(
                write(frameObject + R"("commands": [{"name": "c", "code": "42"}])")));
        QVariantMap store;
        QCOMPARE(
                config.parseResponseFrame(fetched<QByteArray>("frame"), QStringLiteral("c"), store),
                fetched<bool>("ok"));
    }

    void storeKeepsEarlierValues()
    {
        ProtocolFrame frame;
        QVariantMap before = frame.parsedValues();
        QVERIFY(!frame.parseFrame(QStringLiteral(":01C21000040CE40BB8A5~"),
                                  QStringLiteral("cellV")));
        QVERIFY(frame.parsedValues().isEmpty());

        frame.setProtocolConfig(&m_config);
        QVERIFY(frame.parseFrame(QStringLiteral(":01C21000040CE40BB8A5~"),
                                 QStringLiteral("cellV")));
        // V2 is not reached by the next frame and keeps its value.
        QVERIFY(frame.parseFrame(QStringLiteral(":01C21100020FA0A5~"), QStringLiteral("cellV")));
        QCOMPARE(frame.parsedValues().value("V1").toDouble(), 4.0);
        QCOMPARE(frame.parsedValues().value("V2").toDouble(), 3.0);
        QCOMPARE(frame.parsedValues().value(kVersion), QVariant(QStringLiteral("11")));

        // A length failure after a matching command still records the version.
        QVERIFY(!frame.parseFrame(QStringLiteral(":01C2200009~"), QStringLiteral("cellV")));
        QCOMPARE(frame.parsedValues().value(kVersion), QVariant(QStringLiteral("20")));

        before = frame.parsedValues();
        frame.setProtocolConfig(nullptr);
        QVERIFY(!frame.parseFrame(QStringLiteral(":01C21000040CE40BB8A5~"),
                                  QStringLiteral("cellV")));
        QCOMPARE(frame.parsedValues(), before);
    }

    void nonAsciiBeforeFrame()
    {
        // Positions count characters, not bytes, so a multi-byte character ahead is harmless.
        QVariantMap store;
        QVERIFY(m_config.parseResponseFrame(QByteArray("\xc2\xb0:01C21000040CE40BB8A5~"),
                                            QStringLiteral("cellV"), store));
        QCOMPARE(store.value("V2").toDouble(), 3.0);
    }
};

QTEST_GUILESS_MAIN(TestResponseFrame)
#include "tst_responseframe.moc"
