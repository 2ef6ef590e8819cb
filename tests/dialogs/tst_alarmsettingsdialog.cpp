// The alarm settings dialog on real widgets: rows from the sample protocol's defaults and the
// user's rules, checks while typing, applying to the user's file, language switches.

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmrulefile.h"
#include "dialogs/alarmsettingsdialog.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString protocolPath()
{
    return QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(QStringLiteral("cs-16s.json"));
}

QLineEdit *edit(AlarmSettingsDialog &d, int row, int column)
{
    return qobject_cast<QLineEdit *>(d.table()->cellWidget(row, column));
}

QComboBox *combo(AlarmSettingsDialog &d, int row, int column)
{
    return qobject_cast<QComboBox *>(d.table()->cellWidget(row, column));
}

QPushButton *button(AlarmSettingsDialog &d, QDialogButtonBox::StandardButton which)
{
    return d.findChild<QDialogButtonBox *>()->button(which);
}

// Types into a line edit as the user does: select all, then the keys.
void retype(QLineEdit *e, const QString &text)
{
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

int rowOf(AlarmSettingsDialog &d, const QString &name)
{
    for (int row = 0; row < d.rowCount(); ++row) {
        if (edit(d, row, AlarmSettingsDialog::Name)->text() == name)
            return row;
    }
    return -1;
}

} // namespace

class tst_AlarmSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowsAreTheMergedRules();
    void checksWhileTyping_data();
    void checksWhileTyping();
    void applyWritesOnlyWhatDiffersFromTheDefaults();
    void unwritableFileIsReported();
    void followsTheLanguage();

private:
    ProtocolConfig m_config;
    AlarmCatalogue m_catalogue;
    QList<AlarmRule> m_defaults;
    QTemporaryDir m_dir;
    QString m_userFile;
};

void tst_AlarmSettingsDialog::initTestCase()
{
    QVERIFY(m_config.loadConfig(protocolPath()));
    m_catalogue = AlarmCatalogue::fromProtocol(m_config);
    m_defaults = AlarmRuleFile::readProtocolDefaults(protocolPath()).rules;
    QVERIFY(m_defaults.size() >= 3);
}

void tst_AlarmSettingsDialog::init()
{
    m_userFile = m_dir.filePath(QStringLiteral("alarms-%1.json").arg(QTest::currentTestFunction()));
}

void tst_AlarmSettingsDialog::rowsAreTheMergedRules()
{
    const QList<AlarmRule> user = AlarmRuleFile::fromFileContent(R"([
        {"name": "cell_overvoltage", "value": "Vcell*", "high": 3600, "delaySeconds": 2.5},
        {"name": "soc_low", "enabled": false},
        {"name": "spread", "value": "voltage_diff", "high": 80, "severity": "alarm"}])")
                                          .rules;
    AlarmSettingsDialog d;
    d.setRules(m_defaults, user, m_catalogue);
    QCOMPARE(d.rowCount(), m_defaults.size() + 1);
    const int ov = rowOf(d, QStringLiteral("cell_overvoltage"));
    QCOMPARE(edit(d, ov, AlarmSettingsDialog::High)->text(), QStringLiteral("3600"));
    QCOMPARE(edit(d, ov, AlarmSettingsDialog::Delay)->text(), QStringLiteral("2.5"));
    QCOMPARE(combo(d, ov, AlarmSettingsDialog::DelayUnit)->currentIndex(), 0);
    QVERIFY(combo(d, ov, AlarmSettingsDialog::Value)->currentText().startsWith("Vcell*"));
    const int soc = rowOf(d, QStringLiteral("soc_low"));
    QVERIFY(!qobject_cast<QCheckBox *>(d.table()->cellWidget(soc, AlarmSettingsDialog::Enabled))
                     ->isChecked());
    const int spread = rowOf(d, QStringLiteral("spread"));
    QCOMPARE(spread, d.rowCount() - 1);
    QCOMPARE(combo(d, spread, AlarmSettingsDialog::Severity)->currentIndex(), 1);
    QVERIFY(d.canApply());
    // The rows give back exactly the rules they were made from.
    const QList<AlarmRule> merged = AlarmRuleFile::merge(m_defaults, user);
    QCOMPARE(d.editedRules().size(), merged.size());
    for (int i = 0; i < merged.size(); ++i)
        QVERIFY2(d.editedRules().at(i) == merged.at(i), qPrintable(merged.at(i).name));
}

void tst_AlarmSettingsDialog::checksWhileTyping_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("canApply");
    QTest::addColumn<QString>("shown"); // part of the problem text; empty: none

    QTest::newRow("low above high") << int(AlarmSettingsDialog::Low) << "3700" << false
                                    << "Rule cell_overvoltage: Low limit above high limit";
    QTest::newRow("limit not a number")
            << int(AlarmSettingsDialog::High) << "3.6V" << false << "high must be a number";
    QTest::newRow("negative hysteresis") << int(AlarmSettingsDialog::Hysteresis) << "-5" << false
                                         << "Hysteresis must not be negative";
    QTest::newRow("negative delay")
            << int(AlarmSettingsDialog::Delay) << "-1" << false << "Delay must not be negative";
    QTest::newRow("fractional frames") << int(AlarmSettingsDialog::Delay) << "1.5" << false
                                       << "Frame delay must be a whole number";
    QTest::newRow("no name") << int(AlarmSettingsDialog::Name) << "" << false << "Name missing";
    QTest::newRow("name taken") << int(AlarmSettingsDialog::Name) << "soc_low" << false
                                << "Duplicate name";
    QTest::newRow("decimal comma") << int(AlarmSettingsDialog::High) << "3640,5" << true << "";
    QTest::newRow("both limits emptied")
            << int(AlarmSettingsDialog::High) << "" << false << "A high or low limit is needed";
}

void tst_AlarmSettingsDialog::checksWhileTyping()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(bool, canApply);
    QFETCH(QString, shown);
    AlarmSettingsDialog d;
    d.setLanguage(English);
    d.setRules(m_defaults, {}, m_catalogue);
    d.show();
    const int row = rowOf(d, QStringLiteral("cell_overvoltage"));
    QVERIFY(row >= 0);
    retype(edit(d, row, column), typed);
    if (column == AlarmSettingsDialog::Delay) // the default counts frames
        QCOMPARE(combo(d, row, AlarmSettingsDialog::DelayUnit)->currentIndex(), 1);
    QCOMPARE(d.canApply(), canApply);
    QCOMPARE(button(d, QDialogButtonBox::Apply)->isEnabled(), canApply);
    QCOMPARE(button(d, QDialogButtonBox::Ok)->isEnabled(), canApply);
    if (shown.isEmpty()) {
        QCOMPARE(d.problemText(), QString());
    } else {
        QVERIFY2(d.problemText().contains(shown), qPrintable(d.problemText()));
        // The faulty row says why, where the user looks.
        QVERIFY(edit(d, row, AlarmSettingsDialog::Name)->toolTip().contains(shown));
    }
    // The other rules are untouched by one row's fault.
    QCOMPARE(d.editedRules().size(), m_defaults.size() - (canApply ? 0 : 1));
}

void tst_AlarmSettingsDialog::applyWritesOnlyWhatDiffersFromTheDefaults()
{
    AlarmSettingsDialog d;
    d.setRules(m_defaults, {}, m_catalogue);
    d.setUserFilePath(m_userFile);
    d.show();
    QSignalSpy applied(&d, &AlarmSettingsDialog::applied);

    retype(edit(d, rowOf(d, QStringLiteral("cell_overvoltage")), AlarmSettingsDialog::High),
           QStringLiteral("3600"));
    d.removeRow(rowOf(d, QStringLiteral("soc_low")));
    QTest::mouseClick(d.findChild<QPushButton *>(QStringLiteral("alarmRuleAdd")), Qt::LeftButton);
    const int added = d.rowCount() - 1;
    // A new rule is not valid before it has a name and a limit.
    QVERIFY(!d.canApply());
    retype(edit(d, added, AlarmSettingsDialog::Name), QStringLiteral("spread"));
    QComboBox *value = combo(d, added, AlarmSettingsDialog::Value);
    value->setCurrentIndex(value->findText(QStringLiteral("voltage_diff"), Qt::MatchStartsWith));
    retype(edit(d, added, AlarmSettingsDialog::High), QStringLiteral("50"));
    // A value this protocol does not carry is a warning, not a fault.
    QVERIFY(d.canApply());
    d.findChild<QCheckBox *>(QStringLiteral("alarmColumnShown"))->setChecked(true);

    QTest::mouseClick(button(d, QDialogButtonBox::Apply), Qt::LeftButton);
    QCOMPARE(applied.size(), 1);
    QCOMPARE(applied.first().at(1).toBool(), true);
    const AlarmRuleList file = AlarmRuleFile::readFile(m_userFile);
    QVERIFY(file.problems.isEmpty());
    QStringList names;
    for (const AlarmRule &r : file.rules)
        names.append(r.name + (r.isSwitchOff() ? QStringLiteral("(off)") : QString()));
    QCOMPARE(names, (QStringList{"cell_overvoltage", "spread", "soc_low(off)"}));
    QCOMPARE(file.rules.at(0).high, 3600.0);
    QCOMPARE(file.rules.at(1).value, QStringLiteral("voltage_diff"));
    // What was applied is what the file holds.
    const QList<AlarmRule> announced = applied.first().at(0).value<QList<AlarmRule>>();
    QCOMPARE(announced.size(), file.rules.size());
}

void tst_AlarmSettingsDialog::unwritableFileIsReported()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AlarmSettingsDialog d;
    d.setRules(m_defaults, {}, m_catalogue);
    d.setUserFilePath(dir.filePath(QStringLiteral("file/alarms.json")));
    QSignalSpy applied(&d, &AlarmSettingsDialog::applied);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Cannot save alarm rules"));
    QVERIFY(!d.apply());
    QVERIFY(applied.isEmpty());
    QVERIFY2(d.problemText().startsWith(QStringLiteral("无法保存报警规则")),
             qPrintable(d.problemText()));
}

void tst_AlarmSettingsDialog::followsTheLanguage()
{
    AlarmSettingsDialog d;
    d.setRules(m_defaults, {}, m_catalogue);
    const int row = rowOf(d, QStringLiteral("cell_overvoltage"));
    retype(edit(d, row, AlarmSettingsDialog::Low), QStringLiteral("4000"));
    QHeaderView *header = d.table()->horizontalHeader();
    auto headerText = [&](int c) { return d.table()->horizontalHeaderItem(c)->text(); };
    QCOMPARE(headerText(AlarmSettingsDialog::High), QStringLiteral("上限"));
    QVERIFY(d.problemText().contains(QStringLiteral("下限高于上限")));
    d.setLanguage(German);
    QCOMPARE(headerText(AlarmSettingsDialog::High), QStringLiteral("Obergrenze"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Alarmeinstellungen"));
    QCOMPARE(combo(d, row, AlarmSettingsDialog::Severity)->currentText(), QStringLiteral("Alarm"));
    QVERIFY(combo(d, row, AlarmSettingsDialog::Value)->itemText(0).contains("Jede Zelle"));
    QVERIFY(d.problemText().contains(QStringLiteral("Untergrenze über Obergrenze")));
    d.setLanguage(English);
    QCOMPARE(button(d, QDialogButtonBox::Apply)->text(), QStringLiteral("Apply"));
    // The value chosen survives the new wording of the choices.
    QVERIFY(combo(d, row, AlarmSettingsDialog::Value)->currentText().startsWith("Vcell*"));
    Q_UNUSED(header);
}

QTEST_MAIN(tst_AlarmSettingsDialog)
#include "tst_alarmsettingsdialog.moc"
