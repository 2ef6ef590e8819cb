// The hot-plug watcher's first comparison: the ports it starts from, enumerated by itself or
// handed over by the window, decide what the first change reports.

#include "serial/portwatcher.h"

#include <QFile>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestPortWatcher : public QObject
{
    Q_OBJECT

private slots:
    void firstChange_data();
    void firstChange();
};

void TestPortWatcher::firstChange_data()
{
    QTest::addColumn<int>("start"); // 0: enumerates, 1: the system's list, 2: a stale list
    QTest::addColumn<bool>("removed");
    QTest::newRow("enumerated by the watcher") << 0 << false;
    QTest::newRow("handed the system's list") << 1 << false;
    // A port in the handed list that the system no longer has is reported gone.
    QTest::newRow("handed a list with a port since gone") << 2 << true;
}

void TestPortWatcher::firstChange()
{
    QFETCH(int, start);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyLINK"));
    PortWatcher watcher;
    watcher.setVirtualPorts({link});
    QList<QSerialPortInfo> handed = QSerialPortInfo::availablePorts();
    if (start == 2)
        handed.append(QSerialPortInfo(QStringLiteral("cs-gone")));
    if (start == 0)
        watcher.start(60000);
    else
        watcher.start(60000, handed);
    QVERIFY(watcher.isActive());
    QSignalSpy arrivals(&watcher, &PortWatcher::portArrived);
    QSignalSpy removals(&watcher, &PortWatcher::portRemoved);

    watcher.check(); // nothing changed since the start
    QCOMPARE(arrivals.size() + removals.size(), 0);

    QFile file(link);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    watcher.check();
    QCOMPARE(arrivals.size(), 1);
    QCOMPARE(removals.size(), removed ? 1 : 0);
    QCOMPARE(PortWatcher::presentPorts(QSerialPortInfo::availablePorts(), {link}),
             PortWatcher::presentPorts({link}));
}

QTEST_MAIN(TestPortWatcher)
#include "tst_portwatcher.moc"
