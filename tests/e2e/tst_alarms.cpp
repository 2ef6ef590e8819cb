// Alarms end to end: the simulator's overvoltage scenario against the 16-cell sample protocol's
// default rules, in cellscribe-record and in the window.

#include "alarms/alarmmonitor.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "simprocess.h"
#include "ui_mainwindow.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmdisplay.h"
#include "widgets/alarmeventlist.h"
#include "widgets/switchbutton.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kProtocolFile = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json");
constexpr int kCell = 11;
constexpr int kFirst = 4; // the first answer at 3700 mV
constexpr int kDelay = 2; // the default rule's delay in frames
constexpr int kLength = 20; // answers of the scenario

QStringList simArgs()
{
    return {QStringLiteral("--protocol"), kProtocolFile, QStringLiteral("--scenario"),
            QStringLiteral("overvoltage-cell=%1@%2").arg(kCell).arg(kFirst)};
}

// Whether answer n (from 1) carries the alarm: from the delay's end until the scenario ends.
bool alarmed(int answer)
{
    return answer >= kFirst + kDelay && answer < kFirst + kLength;
}

} // namespace

class tst_Alarms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recorderRaisesOnceAndClears();
    void windowRaisesOnceAndClears();

private:
    QTemporaryDir m_dir;
};

void tst_Alarms::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

void tst_Alarms::recorderRaisesOnceAndClears()
{
    SimProcess sim;
    QVERIFY(sim.start(simArgs()));
    const QString rules = m_dir.filePath(QStringLiteral("rules.json"));
    QFile file(rules);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"alarms": [{"name": "bad", "value": "soc", "high": 1, "low": 2}]})");
    file.close();
    const QString csv = m_dir.filePath(QStringLiteral("record.csv"));
    const QString recording = m_dir.filePath(QStringLiteral("alarms.csrec"));
    const int frames = kFirst + kLength + 4;

    QProcess recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.path());
    recorder.setProcessEnvironment(env);
    recorder.start(QStringLiteral(CELLSCRIBE_RUNTIME_DIR "/cellscribe-record"),
                   {QStringLiteral("--port"), sim.path(), QStringLiteral("--protocol"),
                    kProtocolFile, QStringLiteral("--interval"), QStringLiteral("100"),
                    QStringLiteral("--frames"), QString::number(frames), QStringLiteral("--csv"),
                    csv, QStringLiteral("--alarm-column"), QStringLiteral("--alarms"), rules,
                    QStringLiteral("--record"), recording, QStringLiteral("--language"),
                    QStringLiteral("en"), QStringLiteral("--quiet")});
    QVERIFY(recorder.waitForFinished(60000));
    QCOMPARE(recorder.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(recorder.readAllStandardError())
                                      .split(u'\n', Qt::SkipEmptyParts);
    auto matching = [&lines](const QString &part) { return lines.filter(part); };
    // The refused rule is named with its reason; the defaults stay in force.
    QCOMPARE(matching(QStringLiteral("Rule bad: Low limit above high limit")).size(), 1);
    const QStringList raised = matching(QStringLiteral("alarm raised:"));
    const QStringList cleared = matching(QStringLiteral("alarm cleared:"));
    QCOMPARE(raised.size(), 1);
    QCOMPARE(cleared.size(), 1);
    QVERIFY2(raised.first().contains(QStringLiteral("Alarm Cell 11 overvoltage "
                                                    "(cell_overvoltage(11), 3700 mV)")),
             qPrintable(raised.first()));
    QVERIFY2(cleared.first().contains(QStringLiteral("Cell 11 overvoltage")),
             qPrintable(cleared.first()));

    // The recording keeps the raise and the clear, each naming the cell.
    {
        QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alarms-e2e"));
        db.setDatabaseName(recording);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT kind, text FROM events WHERE kind LIKE "
                                          "'alarm-%' ORDER BY id")));
        QStringList kinds;
        while (query.next()) {
            kinds << query.value(0).toString();
            QVERIFY2(query.value(1).toString().contains(QStringLiteral("\"cell\":%1").arg(kCell)),
                     qPrintable(query.value(1).toString()));
        }
        QCOMPARE(kinds,
                 (QStringList{QStringLiteral("alarm-raised"), QStringLiteral("alarm-cleared")}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alarms-e2e"));

    // Row n is answer n: the alarm column says when it was active.
    QFile out(csv);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QList<QByteArray> rows = out.readAll().split('\n');
    rows.removeAll(QByteArray());
    QCOMPARE(rows.size(), frames + 1);
    QVERIFY(rows.first().endsWith(",\"Alarms\""));
    for (int answer = 1; answer <= frames; ++answer) {
        const QByteArray expected =
                alarmed(answer) ? QByteArray(",\"cell_overvoltage(11)\"") : QByteArray(",\"\"");
        QVERIFY2(rows.at(answer).endsWith(expected),
                 qPrintable(QStringLiteral("answer %1: %2")
                                    .arg(answer)
                                    .arg(QString::fromUtf8(rows.at(answer)))));
    }
}

void tst_Alarms::windowRaisesOnceAndClears()
{
    SimProcess sim;
    QVERIFY(sim.start(simArgs()));
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = {sim.path()};
    MainWindow window(options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    Ui::MainWindow *ui = window.form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    window.alarmDisplay()->setAlarmColumnShown(true);

    AlarmMonitor *monitor = window.alarmMonitor();
    // The monitor hears of a frame before the window counts it: the answer that caused an event
    // is the count then plus one.
    QList<QPair<int, AlarmEvent>> events;
    connect(monitor, &AlarmMonitor::raised, this, [&](const AlarmEvent &e) {
        events.append({window.receivedCount() + 1, e});
    });
    connect(monitor, &AlarmMonitor::cleared, this, [&](const AlarmEvent &e) {
        events.append({window.receivedCount() + 1, e});
    });
    // What the window shows while the alarm is active.
    bool bannerShown = false;
    bool frameMarked = false;
    connect(monitor, &AlarmMonitor::activeChanged, this, [&] {
        if (monitor->activeCount() == 0)
            return;
        bannerShown = window.alarmDisplay()->banner()->isVisible()
                && window.alarmDisplay()->banner()->messageText().contains(
                        QStringLiteral("电芯11 过压"));
        const auto *frame =
                window.findChild<QWidget *>(QStringLiteral("frame_hbox_volt_data_cell11"));
        frameMarked = frame && frame->property("alarm").toBool();
    });

    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window.receivedCount() >= kFirst + kLength + 2, 30000);
    ui->openCom->setChecked(false);

    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).second.kind, AlarmEvent::Kind::Raised);
    QCOMPARE(events.at(0).second.cell, kCell);
    QCOMPARE(events.at(0).first, kFirst + kDelay);
    QCOMPARE(events.at(1).second.kind, AlarmEvent::Kind::Cleared);
    QCOMPARE(events.at(1).first, kFirst + kLength);
    QVERIFY(bannerShown);
    QVERIFY(frameMarked);
    QVERIFY(window.alarmDisplay()->banner()->isHidden());
    QCOMPARE(window.alarmDisplay()->eventList()->count(), 2);

    RDModel *table = window.tableModel();
    const int alarmColumn = table->columnCount() - 1;
    QCOMPARE(table->headerData(alarmColumn, Qt::Horizontal).toString(), QStringLiteral("报警"));
    for (int row = 0; row < table->rowCount(); ++row)
        QCOMPARE(table->data(table->index(row, alarmColumn)).toString(),
                 alarmed(row + 1) ? QStringLiteral("cell_overvoltage(11)") : QString());
}

QTEST_MAIN(tst_Alarms)
#include "tst_alarms.moc"
