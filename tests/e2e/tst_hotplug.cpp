// Unplugging and plugging in the simulator's line while the window polls it.

#include "../serial/testpty.h"
#include "../testsupport/boxcloser.h"
#include "acquisition/acquisitionengine.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A shown window offering the ports, polling the one named at the shortest interval.
std::unique_ptr<MainWindow> pollingWindow(const QStringList &ports, const QString &used)
{
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = ports;
    auto window = std::make_unique<MainWindow>(options);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    Ui::MainWindow *ui = window->form();
    ui->portName->setCurrentIndex(ui->portName->findData(used));
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    ui->openCom->setChecked(true);
    return window;
}

} // namespace

class TestHotPlug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unplugStopsAndReplugRebuilds();
    void otherPortGoneChangesNothing();
    void linkRemovedIsAnUnplug();
    void autoReconnectResumesAfterHangup();

private:
    QStringList simArgs(const QString &link) const;
    QTemporaryDir m_dir;
};

void TestHotPlug::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

QStringList TestHotPlug::simArgs(const QString &link) const
{
    return {QStringLiteral("--protocol"), QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json"),
            QStringLiteral("--link"), link};
}

void TestHotPlug::unplugStopsAndReplugRebuilds()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-a"));
    auto sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(simArgs(link)));
    QTRY_VERIFY(QFileInfo::exists(link));

    auto polling = pollingWindow({link}, link);
    QVERIFY(polling);
    MainWindow &window = *polling;
    Ui::MainWindow *ui = window.form();
    const int linkIndex = ui->portName->findData(link);
    QVERIFY(linkIndex >= 0);
    QTRY_VERIFY(window.tableModel()->rowCount() >= 2);

    // Unplug: the simulator exits and its link goes.
    QElapsedTimer clock;
    clock.start();
    sim.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!ui->openCom->isChecked(), 2000);
    qInfo() << "stopped" << clock.elapsed() << "ms after unplug";
    QVERIFY(!QFileInfo::exists(link));
    QCOMPARE(ui->statu_opencom->text(), link + QStringLiteral(" 已关闭"));
    QVERIFY(ui->portName->isEnabled());
    QCOMPARE(ui->portName->findData(link), linkIndex);
    const int rows = window.tableModel()->rowCount();
    const int sent = window.sentCount();
    // Long enough for the port watcher to see the link gone before it comes back.
    QTest::qWait(1600);
    QCOMPARE(window.sentCount(), sent);
    QCOMPARE(window.tableModel()->rowCount(), rows);

    // Plug in again while idle: the list is rebuilt.
    QSignalSpy rebuilt(ui->portName->model(), &QAbstractItemModel::rowsRemoved);
    sim = std::make_unique<SimProcess>();
    QVERIFY(sim->start(simArgs(link)));
    QTRY_VERIFY_WITH_TIMEOUT(!rebuilt.isEmpty(), 3000);
    QTRY_VERIFY(ui->portName->findData(link) >= 0);
    QCOMPARE(ui->portName->currentIndex(), 0);
}

void TestHotPlug::otherPortGoneChangesNothing()
{
    const QString used = m_dir.filePath(QStringLiteral("bms-used"));
    const QString other = m_dir.filePath(QStringLiteral("bms-other"));
    SimProcess usedSim;
    QVERIFY(usedSim.start(simArgs(used)));
    auto otherSim = std::make_unique<SimProcess>();
    QVERIFY(otherSim->start(simArgs(other)));

    auto polling = pollingWindow({used, other}, used);
    QVERIFY(polling);
    MainWindow &window = *polling;
    Ui::MainWindow *ui = window.form();
    QTRY_VERIFY(window.tableModel()->rowCount() >= 1);

    otherSim.reset();
    QVERIFY(!QFileInfo::exists(other));
    const int rows = window.tableModel()->rowCount();
    QTest::qWait(1500);
    QVERIFY(ui->openCom->isChecked());
    QVERIFY(window.tableModel()->rowCount() > rows);
    ui->openCom->setChecked(false);
}

void TestHotPlug::linkRemovedIsAnUnplug()
{
    // The line itself stays up: only the port watcher can tell that the port is gone.
    TestPty pty;
    QVERIFY(pty.isValid());
    pty.closeSlave();
    const QString link = m_dir.filePath(QStringLiteral("bms-link"));
    QVERIFY(QFile::link(pty.slaveName(), link));

    auto polling = pollingWindow({link}, link);
    QVERIFY(polling);
    Ui::MainWindow *ui = polling->form();
    QByteArray written;
    QTRY_VERIFY((written += pty.readAvailable()).contains('~'));

    QVERIFY(QFile::remove(link));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!ui->openCom->isChecked(), 2000);
    qInfo() << "stopped" << clock.elapsed() << "ms after the link went";
    QCOMPARE(ui->statu_opencom->text(), link + QStringLiteral(" 已关闭"));
    QVERIFY(ui->portName->findData(link) >= 0);
    pty.readAvailable();
    QTest::qWait(500);
    QVERIFY(pty.readAvailable().isEmpty());
}

void TestHotPlug::autoReconnectResumesAfterHangup()
{
    const QString link = m_dir.filePath(QStringLiteral("bms-auto"));
    auto first = std::make_unique<SimProcess>();
    QVERIFY(first->start(simArgs(link)
                         << QStringLiteral("--fault") << QStringLiteral("hangup-after=8")));
    QTRY_VERIFY(QFileInfo::exists(link));

    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = {link};
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Ui::MainWindow *ui = window.form();
    QVERIFY(window.autoReconnectBox());
    QCOMPARE(window.autoReconnectBox()->objectName(), QStringLiteral("autoReconnect"));
    QCOMPARE(window.autoReconnectBox()->text(), QStringLiteral("自动重连"));
    window.autoReconnectBox()->setChecked(true);
    QSignalSpy events(window.engine(), &AcquisitionEngine::linkEvent);
    ui->portName->setCurrentIndex(ui->portName->findData(link));
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    ui->openCom->setChecked(true);

    // The line drops after eight answers: the switch stays on and the window says it reconnects.
    QTRY_VERIFY_WITH_TIMEOUT(window.engine()->state() == AcquisitionEngine::State::Reconnecting,
                             10000);
    QVERIFY(ui->openCom->isChecked());
    QCOMPARE(ui->err_info->text(), QStringLiteral("端口已断开，正在重连…"));
    QCOMPARE(ui->statu_opencom->text(), QStringLiteral("端口已断开，正在重连…"));
    QTRY_COMPARE_WITH_TIMEOUT(first->process().state(), QProcess::NotRunning, 5000);
    const int firstAnswers = int(first->answers().size());
    QCOMPARE(firstAnswers, 8);
    QCOMPARE(window.tableModel()->rowCount(), 8);
    first.reset();
    QTest::qWait(1500);
    QVERIFY(ui->openCom->isChecked());

    SimProcess second;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(second.start(simArgs(link)));
    QTRY_VERIFY_WITH_TIMEOUT(window.engine()->state() == AcquisitionEngine::State::Running, 3000);
    qInfo() << "window reconnected" << clock.elapsed() << "ms after the line returned";
    QVERIFY(clock.elapsed() < 2000);
    QTRY_VERIFY_WITH_TIMEOUT(window.tableModel()->rowCount() >= 14, 5000);
    QVERIFY(!ui->err_info->text().contains(QStringLiteral("重连")));
    QVERIFY(ui->statu_opencom->text().startsWith(link + QStringLiteral(" 已打开")));
    ui->openCom->setChecked(false);
    QTest::qWait(300);
    QCOMPARE(window.tableModel()->rowCount(), firstAnswers + int(second.answers().size()));

    int losses = 0, reconnects = 0;
    for (const QList<QVariant> &args : events) {
        const auto kind = args.at(0).value<AcquisitionEvent>().kind;
        losses += kind == AcquisitionEvent::Kind::PortLost;
        reconnects += kind == AcquisitionEvent::Kind::Reconnected;
    }
    QCOMPARE(losses, 1);
    QCOMPARE(reconnects, 1);
}

QTEST_MAIN(TestHotPlug)
#include "tst_hotplug.moc"
