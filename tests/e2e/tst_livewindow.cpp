// The main window polling the BMS simulator on a pseudo-terminal, as a user runs it.

#include "../testsupport/boxcloser.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

QString sampleProtocol()
{
    return QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");
}

bool lampIs(QLabel *lamp, const QString &picture)
{
    return lamp->pixmap().toImage() == QPixmap(picture).toImage();
}

const QString kLampOn = QStringLiteral(":/icons/Icon/green_cycle_full.png");

// A shown window offering the simulator's line, at the shortest interval.
std::unique_ptr<MainWindow> windowFor(const QString &port, const QString &protocolDir)
{
    MainWindow::Options options;
    options.protocolDirectory = protocolDir;
    options.virtualPorts = {port};
    auto window = std::make_unique<MainWindow>(options);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    Ui::MainWindow *ui = window->form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    return window;
}

} // namespace

class TestLiveWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void liveValuesFromSimulator();
    void startFailures_data();
    void startFailures();
    void timeoutStaysUntilAnswered();
    void timeoutClearedAfterRecovery();
    void portHeldElsewhere();
    void checksumErrorShownValuesKept();
    void hangUpStopsAcquisition();

private:
    QTemporaryDir m_settingsDir;
};

void TestLiveWindow::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestLiveWindow::liveValuesFromSimulator()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol()}));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    Ui::MainWindow *ui = window->form();

    ui->openCom->setChecked(true);
    QVERIFY(ui->openCom->isChecked());
    QVERIFY(!ui->portName->isEnabled());
    QVERIFY(ui->statu_opencom->text().startsWith(sim.path() + QStringLiteral(" 已打开, 9600, 8")));
    QTRY_VERIFY_WITH_TIMEOUT(window->receivedCount() >= 4, 10000);
    ui->openCom->setChecked(false);
    QCoreApplication::processEvents();

    // Every answer the simulator logged became one row and one count.
    QTRY_COMPARE(window->receivedCount(), int(sim.answers().size()));
    QCOMPARE(window->tableModel()->rowCount(), window->receivedCount());
    QVERIFY(window->sentCount() >= window->receivedCount());
    QCOMPARE(ui->com_recvs->text(), QString::number(window->receivedCount()));

    // The fields show the last answer's values in the display formats.
    const QJsonObject last = sim.answers().constLast().values;
    QCOMPARE(ui->data_cell1->text(),
             QString::number(std::round(last.value("Vcell1").toDouble()), 'f', 0));
    QCOMPARE(ui->data_cell16->text(),
             QString::number(std::round(last.value("Vcell16").toDouble()), 'f', 0));
    QCOMPARE(ui->data_number->text(), QStringLiteral("16"));
    QVERIFY(!ui->data_totalv->text().isEmpty());
    QCOMPARE(ui->data_totalv->text().section(QLatin1Char('.'), 1).size(), 2);
    QCOMPARE(window->voltageChart()->cellVoltages().size(), 16);

    // Lamps follow the work state.
    const int state = int(last.value("WorkState").toDouble());
    const QHash<int, QLabel *> lampFor{
            {0xF001, ui->statu_chging}, {0xF002, ui->statu_dsging}, {0xF000, ui->statu_standby}};
    if (lampFor.contains(state))
        QVERIFY(lampIs(lampFor.value(state), kLampOn));

    QCOMPARE(ui->statu_opencom->text(), sim.path() + QStringLiteral(" 已关闭"));
    QVERIFY(ui->portName->isEnabled() && ui->bard->isEnabled() && ui->proid->isEnabled());
}

void TestLiveWindow::startFailures_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QString>("message");

    QTest::newRow("no protocol") << QByteArray()
                                 << QStringLiteral("没有加载协议配置，请先选择协议！");
    QTest::newRow("no request command")
            << QByteArray(R"({"protocol": {"name": "NoRequest", "version": "1",
                 "commands": [{"name": "status", "code": "42"}],
                 "tableMapping": {"columns": [{"header": "日期", "field": "_date", "type": "system"}]}}})")
            << QStringLiteral("当前协议未定义有效的请求指令，请检查协议配置。");
}

void TestLiveWindow::startFailures()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QString, message);

    QTemporaryDir dir;
    if (!protocol.isEmpty()) {
        QFile file(dir.filePath(QStringLiteral("p.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(protocol);
    }
    BoxCloser closer;
    auto window = windowFor(QStringLiteral("/tmp/cs-no-such-port"), dir.path());
    QVERIFY(window);
    closer.texts.clear();
    window->form()->openCom->setChecked(true);
    QTRY_VERIFY(!closer.texts.isEmpty());
    QCOMPARE(closer.texts.first(), message);
    QVERIFY(!window->form()->openCom->isChecked());
    QCOMPARE(window->form()->statu_opencom->text(), QStringLiteral("/tmp/cs-no-such-port 已关闭"));
}

void TestLiveWindow::timeoutStaysUntilAnswered()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol(), QStringLiteral("--fault"),
                       QStringLiteral("silent")}));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    Ui::MainWindow *ui = window->form();
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(ui->err_info->text().contains(QStringLiteral("通讯超时")), 5000);
    // Later sends succeed, but the BMS is still silent: the report stays.
    const int sent = window->sentCount();
    QTRY_VERIFY_WITH_TIMEOUT(window->sentCount() >= sent + 3, 5000);
    QVERIFY(ui->err_info->text().contains(QStringLiteral("通讯超时")));
    QCOMPARE(window->receivedCount(), 0);
    ui->openCom->setChecked(false);
}

void TestLiveWindow::timeoutClearedAfterRecovery()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol(), QStringLiteral("--fault"),
                       QStringLiteral("drop=0.5"), QStringLiteral("--seed"), QStringLiteral("7")}));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    Ui::MainWindow *ui = window->form();
    // At 1 s a dropped answer is not covered by the next request's answer.
    ui->proid->setCurrentText(QStringLiteral("1 s"));
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(ui->err_info->text().contains(QStringLiteral("通讯超时")), 20000);
    // An answer, then a send: the report goes.
    QTRY_VERIFY_WITH_TIMEOUT(ui->err_info->text().isEmpty(), 20000);
    ui->openCom->setChecked(false);
    QVERIFY(window->receivedCount() > 0);
}

void TestLiveWindow::portHeldElsewhere()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol()}));
    QSerialPort holder(sim.path());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    Ui::MainWindow *ui = window->form();
    BoxCloser closer;
    ui->openCom->setChecked(true);
    QTRY_VERIFY(!closer.texts.isEmpty());
    QCOMPARE(closer.texts.first(), QStringLiteral("打开端口失败，请检查是否已被占用！"));
    QVERIFY(ui->err_info->text().endsWith(sim.path() + QStringLiteral(" 拒绝访问!")));
    QVERIFY(!ui->openCom->isChecked());
    QVERIFY(ui->portName->isEnabled() && ui->bard->isEnabled() && ui->proid->isEnabled());
}

void TestLiveWindow::checksumErrorShownValuesKept()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol(), QStringLiteral("--fault"),
                       QStringLiteral("bad-checksum=1")}));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    QSignalSpy crc(window.get(), &MainWindow::handleCRCError);
    // Connected after the window's own handler: sees the error line it has just written.
    QStringList shown;
    connect(window.get(), &MainWindow::handleCRCError, this,
            [&] { shown << window->form()->err_info->text(); });
    window->form()->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window->receivedCount() >= 2, 10000);
    window->form()->openCom->setChecked(false);
    QVERIFY(crc.count() >= 2);
    QCOMPARE(shown.first(), QStringLiteral("CRC 校验失败"));
    QCOMPARE(window->tableModel()->rowCount(), window->receivedCount());
    QVERIFY(!window->form()->data_cell1->text().isEmpty());
}

void TestLiveWindow::hangUpStopsAcquisition()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"), sampleProtocol(), QStringLiteral("--fault"),
                       QStringLiteral("hangup-after=3")}));
    auto window = windowFor(sim.path(), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR));
    QVERIFY(window);
    Ui::MainWindow *ui = window->form();
    BoxCloser closer;
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(!ui->openCom->isChecked(), 10000);
    QCOMPARE(ui->err_info->text(), QStringLiteral("端口已经移除，请重新选择端口！"));
    QCOMPARE(ui->statu_opencom->text(), sim.path() + QStringLiteral(" 已关闭"));
    QVERIFY(ui->portName->isEnabled());
    QCOMPARE(window->receivedCount(), 3);
    QCOMPARE(window->tableModel()->rowCount(), 3);
    QVERIFY(closer.texts.isEmpty()); // no box for a pulled cable
    // Polling stopped: nothing more is sent.
    const int sent = window->sentCount();
    QTest::qWait(600);
    QCOMPARE(window->sentCount(), sent);
}

QTEST_MAIN(TestLiveWindow)
#include "tst_livewindow.moc"
