// Which present port, if any, is the adapter that went away.

#include "acquisition/portidentity.h"

#include <QtTest>

namespace {

// "name|serial|vid:pid|location", the last three parts optional.
PortIdentity port(const QString &text)
{
    const QStringList parts = text.split(u'|');
    PortIdentity identity;
    identity.name = parts.value(0);
    identity.serialNumber = parts.value(1);
    const QStringList ids = parts.value(2).split(u':');
    if (ids.size() == 2) {
        identity.vendorId = quint16(ids.at(0).toUInt(nullptr, 16));
        identity.productId = quint16(ids.at(1).toUInt(nullptr, 16));
    }
    identity.location = parts.value(3);
    return identity;
}

} // namespace

class TestPortIdentity : public QObject
{
    Q_OBJECT

private slots:
    void find_data();
    void find();
};

void TestPortIdentity::find_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<int>("expected");

    const QString ftdi = QStringLiteral("ttyUSB0|A10K3|0403:6001|/usb1/1-2/1-2:1.0");
    QTest::newRow("serial number, new name")
            << ftdi
            << QStringList{QStringLiteral("ttyS0"),
                           QStringLiteral("ttyUSB1|A10K3|0403:6001|/usb1/1-3/1-3:1.0")}
            << 1;
    QTest::newRow("serial number, other adapter under the old name")
            << ftdi << QStringList{QStringLiteral("ttyUSB0|B77Q1|0403:6001|/usb1/1-2/1-2:1.0")}
            << -1;
    QTest::newRow("serial number, old name without one")
            << ftdi << QStringList{QStringLiteral("ttyUSB0||0403:6001|/usb1/1-2/1-2:1.0")} << -1;
    QTest::newRow("serial number, other make with the same number")
            << ftdi << QStringList{QStringLiteral("ttyUSB0|A10K3|1a86:7523|/usb1/1-2/1-2:1.0")}
            << -1;
    QTest::newRow("serial number among others")
            << ftdi
            << QStringList{QStringLiteral("ttyUSB0|ZZ1|0403:6001|"),
                           QStringLiteral("ttyACM0|X|2341:0043|"),
                           QStringLiteral("ttyUSB2|A10K3|0403:6001|")}
            << 2;
    QTest::newRow("Windows: serial number, new COM name")
            << QStringLiteral("COM3|FT9XQ|0403:6015|")
            << QStringList{QStringLiteral("COM1"), QStringLiteral("COM5|FT9XQ|0403:6015|")} << 1;

    const QString ch340 = QStringLiteral("ttyUSB0||1a86:7523|/usb1/1-2/1-2:1.0");
    QTest::newRow("no serial number: same location, new name")
            << ch340 << QStringList{QStringLiteral("ttyUSB1||1a86:7523|/usb1/1-2/1-2:1.0")} << 0;
    QTest::newRow("no serial number: same make, other socket")
            << ch340 << QStringList{QStringLiteral("ttyUSB0||1a86:7523|/usb1/1-3/1-3:1.0")} << -1;
    QTest::newRow("no serial number: two of one make, the right socket")
            << ch340
            << QStringList{QStringLiteral("ttyUSB0||1a86:7523|/usb1/1-3/1-3:1.0"),
                           QStringLiteral("ttyUSB1||1a86:7523|/usb1/1-2/1-2:1.0")}
            << 1;
    QTest::newRow("no serial number: other make in the socket")
            << ch340 << QStringList{QStringLiteral("ttyUSB0||067b:2303|/usb1/1-2/1-2:1.0")} << -1;
    QTest::newRow("no serial number: an adapter that has one")
            << ch340 << QStringList{QStringLiteral("ttyUSB0|A10K3|1a86:7523|/usb1/1-2/1-2:1.0")}
            << -1;
    QTest::newRow("no location known: the old name")
            << QStringLiteral("COM4||1a86:7523|") << QStringList{QStringLiteral("COM4||1a86:7523|")}
            << 0;
    QTest::newRow("no location known: a new name is not enough")
            << QStringLiteral("COM4||1a86:7523|") << QStringList{QStringLiteral("COM6||1a86:7523|")}
            << -1;

    QTest::newRow("pseudo-terminal link: the same path")
            << QStringLiteral("/tmp/bms")
            << QStringList{QStringLiteral("ttyS0"), QStringLiteral("/tmp/bms")} << 1;
    QTest::newRow("built-in port opened by path")
            << QStringLiteral("/dev/ttyS1")
            << QStringList{QStringLiteral("ttyS0"), QStringLiteral("ttyS1")} << 1;
    QTest::newRow("built-in port: a USB adapter under its name is another device")
            << QStringLiteral("ttyS1") << QStringList{QStringLiteral("ttyS1||0403:6001|")} << -1;
    QTest::newRow("nothing present") << ftdi << QStringList() << -1;
}

void TestPortIdentity::find()
{
    QFETCH(QString, wanted);
    QFETCH(QStringList, present);
    QFETCH(int, expected);
    QList<PortIdentity> ports;
    for (const QString &text : present)
        ports.append(port(text));
    QCOMPARE(PortIdentity::find(port(wanted), ports), expected);
}

QTEST_GUILESS_MAIN(TestPortIdentity)
#include "tst_portidentity.moc"
