#include "../testsupport/boxcloser.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "dialogs/aboutdialog.h"
#include "protocol/protocolconfig.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// A port list that needs no hardware and shows no "no port" box.
MainWindow::Options withPorts(const QStringList &ports = {QStringLiteral("/tmp/cs-test-a"),
                                                          QStringLiteral("/tmp/cs-test-b")})
{
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = ports;
    return options;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startsWithFirstProtocol();
    void pressOnPortsRefreshesWhileIdle();
    void valueFieldsShareOneWidth();
    void viewSwitchAndHeightLimit_data();
    void viewSwitchAndHeightLimit();
    void openedWideShowsChart();
    void selectionsRestoredAtNextStart();
    void missingProtocolDirectoryNamed();
    void developmentDirectoryWhenNoneBesideExecutable();
    void virtualPortsListedLast();
    void noPortAtAllWarns();
    void styleSheetFallbackFile();
    void aboutDialogIsOneInstance();
    void workStateLamps_data();
    void workStateLamps();
    void timerIntervals_data();
    void timerIntervals();

private:
    QTemporaryDir m_settingsDir;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestMainWindow::init()
{
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
}

void TestMainWindow::startsWithFirstProtocol()
{
    MainWindow window(withPorts());
    QVERIFY(window.currentProtocolConfig());
    QCOMPARE(window.tableModel()->columnCount(),
             int(window.currentProtocolConfig()->tableColumns().size()));
    QCOMPARE(window.form()->tableView->model(), window.tableModel());
    QCOMPARE(window.form()->bard->count(), 4);
    QCOMPARE(window.form()->bard->currentText(), QStringLiteral("9600"));
    QCOMPARE(window.form()->proid->count(), 11);
    QCOMPARE(window.form()->proid->itemText(7), QStringLiteral("30 s"));
    QCOMPARE(window.form()->proid->currentText(), QStringLiteral("500 ms"));
    QCOMPARE(window.form()->statu_opencom->text(), QStringLiteral("未连接！"));
    QVERIFY(!window.form()->openCom->isChecked());
    // The chart sits on the chart page of the voltage group.
    QCOMPARE(window.voltageChart()->parentWidget(), window.form()->page_voltageChart);
}

void TestMainWindow::valueFieldsShareOneWidth()
{
    MainWindow window(withPorts());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<QLineEdit *> fields =
            window.findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("^data_")));
    QCOMPARE(fields.size(), 35);
    const int width = fields.first()->width();
    for (QLineEdit *field : fields) {
        QCOMPARE(field->width(), width);
        const int needed = field->fontMetrics().horizontalAdvance(QStringLiteral("88888888"));
        QVERIFY2(field->contentsRect().width() >= needed, qPrintable(field->objectName()));
        QVERIFY(field->alignment() & Qt::AlignRight);
    }
    // Unit labels are one width too, so the fields line up in every group.
    const QList<QLabel *> units =
            window.findChildren<QLabel *>(QRegularExpression(QStringLiteral("^data_.*_unit$")));
    QCOMPARE(units.size(), 35);
    for (QLabel *unit : units)
        QCOMPARE(unit->width(), units.first()->width());
}

void TestMainWindow::viewSwitchAndHeightLimit_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tab"); // shown while the window is resized
    QTest::addColumn<int>("page");

    QTest::newRow("narrowest shows values") << 1280 << 700 << 0 << 0;
    QTest::newRow("wide shows chart") << 1900 << 640 << 0 << 1;
    // The hidden page is laid out only when shown again, with no window resize after it.
    QTest::newRow("widened on the table tab") << 1900 << 640 << 1 << 1;
}

void TestMainWindow::viewSwitchAndHeightLimit()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tab);
    QFETCH(int, page);

    MainWindow window(withPorts());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTabWidget *tabs = window.form()->tabWidget;
    tabs->setCurrentIndex(tab);
    QApplication::processEvents();
    window.resize(width, height);
    QTRY_COMPARE(window.width(), width);
    QTest::qWait(50);
    tabs->setCurrentIndex(0);
    QGroupBox *group = window.form()->groupBox_voltage;
    QTRY_COMPARE(window.form()->stackedWidget_voltage->currentIndex(), page);
    QCOMPARE(group->width() > 1200, page == 1);
    QCOMPARE(group->maximumHeight(), int(window.height() * 0.4));

    // And back, on the same tab: narrowing below the threshold returns to the value fields.
    tabs->setCurrentIndex(tab);
    QApplication::processEvents();
    window.resize(1280, height);
    QTRY_COMPARE(window.width(), 1280);
    QTest::qWait(50);
    tabs->setCurrentIndex(0);
    QTRY_COMPARE(window.form()->stackedWidget_voltage->currentIndex(), 0);
}

void TestMainWindow::openedWideShowsChart()
{
    // The group gets its width from nested layouts only after the window's own resize.
    MainWindow window(withPorts());
    window.resize(1900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(window.form()->stackedWidget_voltage->currentIndex(), 1);
}

void TestMainWindow::selectionsRestoredAtNextStart()
{
    {
        MainWindow window(withPorts());
        window.form()->portName->setCurrentIndex(window.form()->portName->count() - 1);
        window.form()->bard->setCurrentText(QStringLiteral("115200"));
        window.form()->proid->setCurrentText(QStringLiteral("5 s"));
    }
    QSettings settings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"));
    QCOMPARE(settings.value(QStringLiteral("baudRate")).toString(), QStringLiteral("115200"));
    QCOMPARE(settings.value(QStringLiteral("portName")).toString(),
             QStringLiteral("/tmp/cs-test-b (虚拟端口)"));

    MainWindow again(withPorts());
    QCOMPARE(again.form()->portName->currentText(), QStringLiteral("/tmp/cs-test-b (虚拟端口)"));
    QCOMPARE(again.form()->bard->currentText(), QStringLiteral("115200"));
    QCOMPARE(again.form()->proid->currentText(), QStringLiteral("5 s"));

    // A virtual port stored under another label (an earlier version's) is found by its path.
    settings.setValue(QStringLiteral("portName"), QStringLiteral("/tmp/cs-test-b (virtual port)"));
    settings.sync();
    MainWindow relabelled(withPorts());
    QCOMPARE(relabelled.form()->portName->currentData().toString(),
             QStringLiteral("/tmp/cs-test-b"));

    // A stored port that is gone leaves the first port named on the command line selected.
    MainWindow fewer(withPorts({QStringLiteral("/tmp/cs-test-a")}));
    QCOMPARE(fewer.form()->portName->currentData().toString(), QStringLiteral("/tmp/cs-test-a"));
    QCOMPARE(fewer.form()->bard->currentText(), QStringLiteral("115200"));
}

void TestMainWindow::missingProtocolDirectoryNamed()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-protocols"));
    MainWindow::Options options = withPorts();
    options.protocolDirectory = missing;
    BoxCloser closer;
    MainWindow window(options);
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts.first().contains(QDir::toNativeSeparators(missing)),
             qPrintable(closer.texts.first()));
    QVERIFY(!window.currentProtocolConfig());
    QCOMPARE(window.tableModel()->columnCount(), 0);
}

void TestMainWindow::developmentDirectoryWhenNoneBesideExecutable()
{
    // The test binary has no protocols/ beside it.
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath() + "/protocols"));
    QCOMPARE(QDir(MainWindow::resolveProtocolDirectory()).canonicalPath(),
             QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).canonicalPath());
}

void TestMainWindow::virtualPortsListedLast()
{
    MainWindow window(withPorts());
    QComboBox *ports = window.form()->portName;
    const int enumerated = ports->count() - 2;
    QVERIFY(enumerated >= 0);
    QCOMPARE(ports->itemText(enumerated), QStringLiteral("/tmp/cs-test-a (虚拟端口)"));
    QCOMPARE(ports->itemText(enumerated + 1), QStringLiteral("/tmp/cs-test-b (虚拟端口)"));
    QCOMPARE(ports->itemData(enumerated + 1).toString(), QStringLiteral("/tmp/cs-test-b"));
    for (int i = 0; i < enumerated; ++i)
        QVERIFY(!ports->itemText(i).contains(QStringLiteral("Bluetooth"), Qt::CaseInsensitive));
}

void TestMainWindow::noPortAtAllWarns()
{
    if (!QSerialPortInfo::availablePorts().isEmpty())
        QSKIP("this machine has serial ports");
    BoxCloser closer;
    MainWindow window(withPorts({}));
    QCOMPARE(closer.texts, QStringList{QStringLiteral("未找到可用串口")});
    QCOMPARE(window.form()->portName->count(), 0);
}

void TestMainWindow::styleSheetFallbackFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("modern_style.qss")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("QLabel { color: #123456; }");
    file.close();
    const QString missingResource = QStringLiteral(":/styles/no-such.qss");
    QCOMPARE(MainWindow::readStyleSheet(missingResource, file.fileName()),
             QStringLiteral("QLabel { color: #123456; }"));
    QVERIFY(MainWindow::readStyleSheet(missingResource, dir.filePath(QStringLiteral("x")))
                    .isEmpty());
    // The resource wins over the file when both exist.
    const QString embedded = MainWindow::readStyleSheet(QStringLiteral(":/styles/modern_style.qss"),
                                                        file.fileName());
    QVERIFY(embedded.contains(QStringLiteral("QGroupBox")));

    MainWindow window(withPorts());
    QCOMPARE(window.styleSheet(), embedded);
}

void TestMainWindow::aboutDialogIsOneInstance()
{
    MainWindow window(withPorts());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QPushButton *button = window.aboutButton();
    QVERIFY(button);
    // Placed once, right under the clock's right edge.
    QLabel *clock = window.form()->lblDateTime;
    const QPoint corner = clock->mapTo(&window, QPoint(clock->width() - 1, clock->height() - 1));
    QTRY_COMPARE(button->pos(), QPoint(corner.x() - 39 - 6, corner.y() + 5));

    button->click();
    AboutDialog *dialog = window.aboutDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    dialog->close();
    button->click();
    QCOMPARE(window.aboutDialog(), dialog);
    QVERIFY(dialog->isVisible());
}

void TestMainWindow::workStateLamps_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("on");

    QTest::newRow("heating lights two") << 0xA006 << QStringList{"statu_utc", "statu_heating"};
    QTest::newRow("high temp both") << 0xC500 << QStringList{"statu_otd", "statu_otc"};
    QTest::newRow("standby") << 0xF000 << QStringList{"statu_standby"};
    QTest::newRow("short circuit") << 0x5020 << QStringList{"statu_sc"};
    QTest::newRow("unknown: all off") << 0x1234 << QStringList{};
}

void TestMainWindow::workStateLamps()
{
    QFETCH(int, code);
    QFETCH(QStringList, on);

    MainWindow window(withPorts());
    window.updateWorkStateLamps(0xF001); // something lit before
    window.updateWorkStateLamps(code);
    const QImage green = QPixmap(QStringLiteral(":/icons/Icon/green_cycle_full.png")).toImage();
    int lit = 0;
    for (QLabel *lamp : window.findChildren<QLabel *>(QRegularExpression("^statu_"))) {
        if (lamp->pixmap().isNull() || lamp->pixmap().toImage() != green)
            continue;
        ++lit;
        QVERIFY2(on.contains(lamp->objectName()), qPrintable(lamp->objectName()));
    }
    QCOMPARE(lit, int(on.size()));
}

void TestMainWindow::timerIntervals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms");

    QTest::newRow("200 ms") << "200 ms" << 200;
    QTest::newRow("1 s") << "1 s" << 1000;
    QTest::newRow("30 s") << "30 s" << 30000;
    QTest::newRow("5 min") << "5 min" << 300000;
    QTest::newRow("no unit") << "500" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("too large reads 0") << "99999999999 ms" << 0;
}

void TestMainWindow::timerIntervals()
{
    QFETCH(QString, text);
    QFETCH(int, ms);
    QCOMPARE(MainWindow::parseTimerInterval(text), ms);
}

void TestMainWindow::pressOnPortsRefreshesWhileIdle()
{
    MainWindow window(withPorts());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QComboBox *ports = window.form()->portName;
    ports->setCurrentIndex(ports->count() - 1);
    QSignalSpy rebuilt(ports->model(), &QAbstractItemModel::rowsRemoved);
    QTest::mousePress(ports, Qt::LeftButton);
    QVERIFY(!rebuilt.isEmpty());
    // The fresh list starts at its first port.
    QCOMPARE(ports->currentIndex(), 0);
    ports->hidePopup();
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
