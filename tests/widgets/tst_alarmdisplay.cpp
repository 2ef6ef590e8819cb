// A window's alarm parts fed by a real monitor on the sample protocol: banner, events, field
// frames and the settings dialog applying to the monitor.

#include "alarms/alarmmonitor.h"
#include "dialogs/alarmsettingsdialog.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmdisplay.h"
#include "widgets/alarmeventlist.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

QString protocolPath()
{
    return QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(QStringLiteral("cs-16s.json"));
}

QVariantHash cells(double cell3)
{
    QVariantHash values;
    for (int i = 1; i <= 16; ++i)
        values.insert(QStringLiteral("Vcell%1").arg(i), i == 3 ? cell3 : 3300.0);
    return values;
}

} // namespace

class tst_AlarmDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheMonitor();
    void settingsApplyToTheMonitor();
    void refusedRulesAreShownInTheDialog();

private:
    ProtocolConfig m_config;
    QTemporaryDir m_dir;
};

void tst_AlarmDisplay::initTestCase()
{
    QVERIFY(m_config.loadConfig(protocolPath()));
}

void tst_AlarmDisplay::followsTheMonitor()
{
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *frame = new QFrame(&window);
    frame->setObjectName(QStringLiteral("frame_hbox_volt_data_cell3"));
    auto *field = new QLineEdit(frame);
    field->setObjectName(QStringLiteral("data_cell3"));
    layout->addWidget(frame);

    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(), QString());
    AlarmDisplay display(&monitor, &window);
    layout->addWidget(display.banner());
    window.show();
    QVERIFY(display.banner()->isHidden());

    for (int i = 0; i < 3; ++i)
        monitor.processValues(cells(3700), i * 1000);
    QVERIFY(display.banner()->isVisible());
    QVERIFY(display.banner()->messageText().contains(QStringLiteral("电芯3 过压")));
    QCOMPARE(display.eventList()->count(), 1);
    QVERIFY(frame->property("alarm").toBool());

    display.setLanguage(English);
    QVERIFY(display.banner()->messageText().contains(QStringLiteral("Cell 3 overvoltage")));
    QCOMPARE(display.settingsButton()->text(), QStringLiteral("Alarm settings…"));

    monitor.processValues(cells(3300), 3000);
    QVERIFY(display.banner()->isHidden());
    QCOMPARE(display.eventList()->count(), 2);
    QCOMPARE(display.eventList()->eventAt(0).kind, AlarmEvent::Kind::Cleared);
    QVERIFY(!frame->property("alarm").toBool());

    display.settingsButton()->click();
    QVERIFY(display.settingsDialog()->isVisible());
    QCOMPARE(display.settingsDialog()->rowCount(), monitor.rules().size());
}

void tst_AlarmDisplay::settingsApplyToTheMonitor()
{
    QWidget window;
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(), QString());
    AlarmDisplay display(&monitor, &window);
    display.setUserFilePath(m_dir.filePath(QStringLiteral("apply.json")));
    QSignalSpy column(&display, &AlarmDisplay::alarmColumnShownChanged);
    display.showSettings();
    AlarmSettingsDialog *dialog = display.settingsDialog();
    QTableWidget *table = dialog->table();
    int row = 0;
    while (qobject_cast<QLineEdit *>(table->cellWidget(row, AlarmSettingsDialog::Name))->text()
           != QLatin1String("cell_overvoltage"))
        ++row;
    auto *high = qobject_cast<QLineEdit *>(table->cellWidget(row, AlarmSettingsDialog::High));
    high->setText(QStringLiteral("3500"));
    dialog->findChild<QCheckBox *>(QStringLiteral("alarmColumnShown"))->setChecked(true);
    QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(column.size(), 1);
    QVERIFY(display.alarmColumnShown());
    QVERIFY(QFile::exists(display.userFilePath()));

    // In force at once: 3600 mV now raises (after the rule's two frames of delay).
    QSignalSpy raised(&monitor, &AlarmMonitor::raised);
    for (int i = 0; i < 3; ++i)
        monitor.processValues(cells(3600), i * 1000);
    QCOMPARE(raised.size(), 1);
}

void tst_AlarmDisplay::refusedRulesAreShownInTheDialog()
{
    const QString user = m_dir.filePath(QStringLiteral("broken.json"));
    QFile f(user);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"([{"name": "upside_down", "value": "soc", "high": 10, "low": 20}])");
    f.close();
    QWidget window;
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(), user);
    AlarmDisplay display(&monitor, &window);
    display.setLanguage(German);
    display.showSettings();
    const QString text = display.settingsDialog()->problemText();
    QVERIFY2(text.contains(QStringLiteral("broken.json: Regel upside_down: Untergrenze über "
                                          "Obergrenze")),
             qPrintable(text));
    // The button that leads there says that something was refused, and what.
    QVERIFY(display.settingsButton()->text().startsWith(QStringLiteral("⚠")));
    QVERIFY(display.settingsButton()->toolTip().contains(QStringLiteral("upside_down")));
    // Not a fault of the rows: the dialog can still apply.
    QVERIFY(display.settingsDialog()->canApply());
}

QTEST_MAIN(tst_AlarmDisplay)
#include "tst_alarmdisplay.moc"
