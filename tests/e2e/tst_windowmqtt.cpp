// The main window publishing to a real mosquitto broker while it polls the BMS simulator: the
// settings dialog, publishing that follows the acquisition switch, the error line.

#include "../publish/mqtttestsupport.h"
#include "../testsupport/boxcloser.h"
#include "app/mainwindow.h"
#include "dialogs/mqttoptionsstore.h"
#include "dialogs/mqttpublishcontrol.h"
#include "dialogs/mqttsettingsdialog.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<MainWindow> windowFor(const QString &port)
{
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
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

void saveOptions(const MqttPublishOptions &options)
{
    QSettings settings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"));
    MqttOptionsStore(settings).save(options);
}

} // namespace

class TestWindowMqtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void publishesWhileAcquiring();
    void dialogAppliesToTheRunAndRemovesFromHomeAssistant();

private:
    QTemporaryDir m_settingsDir;
};

void TestWindowMqtt::initTestCase()
{
    if (TestBroker::program().isEmpty())
        QSKIP("mosquitto is not installed (Debian: mosquitto)");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestWindowMqtt::init()
{
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
}

void TestWindowMqtt::publishesWhileAcquiring()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/desk/#")}));
    MqttPublishOptions options;
    options.enabled = true;
    options.url = broker.url();
    options.packId = QStringLiteral("desk");
    saveOptions(options);

    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"),
                       QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json")}));
    auto window = windowFor(sim.path());
    QVERIFY(window);
    auto *button = window->findChild<QPushButton *>(QStringLiteral("mqttSettingsButton"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("MQTT 设置…"));
    window->applyLanguage(English);
    QCOMPARE(button->text(), QStringLiteral("MQTT settings…"));

    Ui::MainWindow *ui = window->form();
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window->receivedCount() >= 5, 10000);
    QTRY_COMPARE(subscriber.last(QStringLiteral("cellscribe/desk/status")), QByteArray("online"));
    // The error line is cleared at the next request; the button keeps the last event.
    auto *button2 = window->findChild<QPushButton *>(QStringLiteral("mqttSettingsButton"));
    QVERIFY2(button2->toolTip().startsWith(QStringLiteral("MQTT connected: mqtt://127.0.0.1")),
             qPrintable(button2->toolTip()));
    ui->openCom->setChecked(false);
    QCoreApplication::processEvents();

    // A message per received frame, in the window's language; offline once switched off.
    QTRY_COMPARE(subscriber.last(QStringLiteral("cellscribe/desk/status")), QByteArray("offline"));
    const QList<ReceivedMessage> states =
            subscriber.messages(QStringLiteral("cellscribe/desk/state"));
    QCOMPARE(states.size(), qsizetype(window->receivedCount()));
    QCOMPARE(states.last()
                     .json()
                     .value(QStringLiteral("link"))
                     .toObject()
                     .value(QStringLiteral("framesReceived"))
                     .toInt(),
             window->receivedCount());
    const QString workState = states.last().json().value(QStringLiteral("workState")).toString();
    QVERIFY2(!workState.isEmpty() && workState.at(0).unicode() < 0x80, qPrintable(workState));
}

void TestWindowMqtt::dialogAppliesToTheRunAndRemovesFromHomeAssistant()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber;
    QVERIFY(subscriber.subscribe(broker.port(), {QStringLiteral("cellscribe/+/state")}));
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--protocol"),
                       QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json")}));
    auto window = windowFor(sim.path());
    QVERIFY(window);
    window->applyLanguage(English);
    Ui::MainWindow *ui = window->form();
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window->receivedCount() >= 2, 10000);
    QCOMPARE(subscriber.messages().size(), 0); // publishing is off

    // Switched on in the dialog during the run: it publishes from then on.
    window->findChild<QPushButton *>(QStringLiteral("mqttSettingsButton"))->click();
    MqttSettingsDialog *dialog = window->mqttControl()->dialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("MQTT Publishing"));
    dialog->findChild<QCheckBox *>(QStringLiteral("mqttEnabled"))->setChecked(true);
    dialog->findChild<QLineEdit *>(QStringLiteral("mqttUrl"))->setText(broker.url());
    dialog->findChild<QLineEdit *>(QStringLiteral("mqttPackId"))->setText(QStringLiteral("bench"));
    dialog->accept();
    QVERIFY(window->mqttControl()->options().enabled);
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.count(QStringLiteral("cellscribe/bench/state")) >= 3,
                             10000);

    const QString configs = QStringLiteral("homeassistant/sensor/cellscribe_bench/+/config");
    {
        TestSubscriber homeAssistant;
        QVERIFY(homeAssistant.subscribe(broker.port(), {configs}));
        QTRY_VERIFY(homeAssistant.messages().size() > 40);
    }
    window->mqttControl()->showDialog();
    dialog->findChild<QPushButton *>(QStringLiteral("mqttRemoveDiscovery"))->click();
    auto *button = window->findChild<QPushButton *>(QStringLiteral("mqttSettingsButton"));
    QTRY_COMPARE(button->toolTip(), QStringLiteral("Pack bench removed from Home Assistant"));
    // The dialog tells how publishing goes.
    const QString status = dialog->findChild<QLabel *>(QStringLiteral("mqttStatus"))->text();
    QVERIFY2(status.contains(QStringLiteral(" published, 0 dropped")), qPrintable(status));
    dialog->reject();
    ui->openCom->setChecked(false);
    QCoreApplication::processEvents();
    TestSubscriber after;
    QVERIFY(after.subscribe(broker.port(), {configs}));
    QTest::qWait(300);
    QVERIFY(after.messages().isEmpty());
}

QTEST_MAIN(TestWindowMqtt)
#include "tst_windowmqtt.moc"
