// The alarm banner, the events list, the field frames and the notifier on real widgets.

#include "i18n/translations.h"
#include "widgets/alarmbanner.h"
#include "widgets/alarmeventlist.h"
#include "widgets/alarmfieldmarker.h"
#include "widgets/alarmnotifier.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

AlarmEvent makeEvent(const QString &rule, int cell, AlarmRule::Severity severity, qint64 timeMs,
                     AlarmEvent::Kind kind = AlarmEvent::Kind::Raised)
{
    AlarmEvent e;
    e.kind = kind;
    e.rule = rule;
    e.cell = cell;
    e.key = cell > 0 ? QStringLiteral("Vcell%1").arg(cell) : QStringLiteral("soc");
    e.label = cell > 0 ? QString() : QStringLiteral("SOC");
    e.unit = cell > 0 ? QStringLiteral("mV") : QStringLiteral("%");
    e.value = cell > 0 ? 3700 : 8;
    e.limit = cell > 0 ? 3650 : 10;
    e.side = cell > 0 ? AlarmEvent::Side::High : AlarmEvent::Side::Low;
    e.severity = severity;
    e.timeMs = timeMs;
    return e;
}

// 2024-05-01 12:00:00 local time, plus seconds.
qint64 at(int seconds)
{
    return QDateTime(QDate(2024, 5, 1), QTime(12, 0, seconds)).toMSecsSinceEpoch();
}

} // namespace

class tst_AlarmWidgets : public QObject
{
    Q_OBJECT

private slots:
    void bannerHeadline_data();
    void bannerHeadline();
    void bannerShowsOnlyWhileActive();
    void eventListNewestFirstAndAcknowledged();
    void eventListFollowsTheLanguage();
    void eventListKeepsTheNewest();
    void fieldFramesTurnRedAndBack();
    void notifierStaysQuietWithoutATray();
};

void tst_AlarmWidgets::bannerHeadline_data()
{
    QTest::addColumn<QList<AlarmEvent>>("active");
    QTest::addColumn<QString>("rule");

    const auto W = AlarmRule::Severity::Warning;
    const auto A = AlarmRule::Severity::Alarm;
    QTest::newRow("one") << QList<AlarmEvent>{makeEvent("a", 1, W, 1)} << "a";
    QTest::newRow("alarm over a newer warning")
            << QList<AlarmEvent>{makeEvent("a", 1, A, 1), makeEvent("w", 2, W, 2)} << "a";
    QTest::newRow("newest of the same severity")
            << QList<AlarmEvent>{makeEvent("a", 1, A, 1), makeEvent("b", 2, A, 2),
                                 makeEvent("w", 0, W, 3)}
            << "b";
}

void tst_AlarmWidgets::bannerHeadline()
{
    QFETCH(QList<AlarmEvent>, active);
    QFETCH(QString, rule);
    QCOMPARE(AlarmBanner::headline(active).rule, rule);
}

void tst_AlarmWidgets::bannerShowsOnlyWhileActive()
{
    QWidget window;
    auto *banner = new AlarmBanner(&window);
    window.show();
    QVERIFY(banner->isHidden());
    QSignalSpy requested(banner, &AlarmBanner::eventsRequested);

    banner->setActiveAlarms({makeEvent("soc_low", 0, AlarmRule::Severity::Warning, at(5)),
                             makeEvent("cell_overvoltage", 12, AlarmRule::Severity::Alarm, at(9))});
    QVERIFY(banner->isVisible());
    QCOMPARE(banner->messageText(), QStringLiteral("12:00:09  告警  电芯12 过压 (3700 mV)"));
    QCOMPARE(banner->countText(), QStringLiteral("当前报警: 2"));
    QCOMPARE(banner->property("severity").toString(), QStringLiteral("alarm"));

    banner->setLanguage(German);
    QCOMPARE(banner->messageText(),
             QStringLiteral("12:00:09  Alarm  Zelle 12 Überspannung (3700 mV)"));
    QCOMPARE(banner->countText(), QStringLiteral("Aktive Alarme: 2"));

    banner->setActiveAlarms({makeEvent("soc_low", 0, AlarmRule::Severity::Warning, at(5))});
    QCOMPARE(banner->property("severity").toString(), QStringLiteral("warning"));
    QCOMPARE(banner->messageText(), QStringLiteral("12:00:05  Warnung  SOC zu niedrig (8 %)"));
    QTest::mouseClick(banner->findChild<QPushButton *>(QStringLiteral("alarmBannerEvents")),
                      Qt::LeftButton);
    QCOMPARE(requested.size(), 1);

    banner->setActiveAlarms({});
    QVERIFY(banner->isHidden());
}

void tst_AlarmWidgets::eventListNewestFirstAndAcknowledged()
{
    AlarmEventList list;
    QSignalSpy unacknowledged(&list, &AlarmEventList::unacknowledgedCountChanged);
    list.addEvent(makeEvent("cell_overvoltage", 12, AlarmRule::Severity::Alarm, at(1)));
    list.addEvent(makeEvent("soc_low", 0, AlarmRule::Severity::Warning, at(2)));
    list.addEvent(makeEvent("cell_overvoltage", 12, AlarmRule::Severity::Alarm, at(3),
                            AlarmEvent::Kind::Cleared));
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.unacknowledgedCount(), 3);
    QCOMPARE(unacknowledged.last().first().toInt(), 3);

    QTableWidget *table = list.table();
    auto cell = [table](int row, int column) { return table->item(row, column)->text(); };
    QCOMPARE(cell(0, AlarmEventList::Kind), QStringLiteral("恢复"));
    QCOMPARE(cell(0, AlarmEventList::Cell), QStringLiteral("12"));
    QCOMPARE(cell(1, AlarmEventList::Rule), QStringLiteral("soc_low"));
    QCOMPARE(cell(1, AlarmEventList::Value), QStringLiteral("8 %"));
    QCOMPARE(cell(1, AlarmEventList::Cell), QString());
    QCOMPARE(cell(2, AlarmEventList::Time), QStringLiteral("2024-05-01 12:00:01"));
    QCOMPARE(cell(2, AlarmEventList::Message), QStringLiteral("电芯12 过压"));
    QVERIFY(table->item(2, AlarmEventList::Message)->font().bold());

    table->selectRow(1);
    QTest::mouseClick(list.findChild<QPushButton *>(QStringLiteral("alarmAcknowledge")),
                      Qt::LeftButton);
    QCOMPARE(list.unacknowledgedCount(), 2);
    QVERIFY(list.isAcknowledged(1));
    QVERIFY(!table->item(1, AlarmEventList::Message)->font().bold());
    QCOMPARE(cell(1, AlarmEventList::Acknowledged), QStringLiteral("已确认"));

    QTest::mouseClick(list.findChild<QPushButton *>(QStringLiteral("alarmAcknowledgeAll")),
                      Qt::LeftButton);
    QCOMPARE(list.unacknowledgedCount(), 0);
    QCOMPARE(unacknowledged.last().first().toInt(), 0);
    // A new event after acknowledging all is unacknowledged again.
    list.addEvent(makeEvent("soc_low", 0, AlarmRule::Severity::Warning, at(4)));
    QCOMPARE(list.unacknowledgedCount(), 1);
}

void tst_AlarmWidgets::eventListFollowsTheLanguage()
{
    AlarmEventList list;
    list.addEvent(makeEvent("cell_overvoltage", 3, AlarmRule::Severity::Alarm, at(1)));
    list.setLanguage(English);
    QTableWidget *table = list.table();
    QCOMPARE(table->horizontalHeaderItem(AlarmEventList::Kind)->text(), QStringLiteral("Event"));
    QCOMPARE(table->item(0, AlarmEventList::Kind)->text(), QStringLiteral("Raised"));
    QCOMPARE(table->item(0, AlarmEventList::Severity)->text(), QStringLiteral("Alarm"));
    QCOMPARE(table->item(0, AlarmEventList::Message)->text(), QStringLiteral("Cell 3 overvoltage"));
    list.setLanguage(German);
    QCOMPARE(table->item(0, AlarmEventList::Message)->text(),
             QStringLiteral("Zelle 3 Überspannung"));
    QCOMPARE(list.findChild<QPushButton *>(QStringLiteral("alarmAcknowledgeAll"))->text(),
             QStringLiteral("Alle quittieren"));
}

void tst_AlarmWidgets::eventListKeepsTheNewest()
{
    AlarmEventList list;
    list.setCapacity(3);
    for (int i = 0; i < 5; ++i)
        list.addEvent(
                makeEvent(QStringLiteral("r%1").arg(i), 0, AlarmRule::Severity::Warning, at(i)));
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.table()->rowCount(), 3);
    QCOMPARE(list.eventAt(0).rule, QStringLiteral("r4"));
    QCOMPARE(list.eventAt(2).rule, QStringLiteral("r2"));
    QCOMPARE(list.unacknowledgedCount(), 3);
}

void tst_AlarmWidgets::fieldFramesTurnRedAndBack()
{
    // The rows as the main window builds them: a named frame around each value field.
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *frame = new QFrame(&window);
    frame->setObjectName(QStringLiteral("frame_hbox_volt_data_cell12"));
    frame->setStyleSheet(QStringLiteral("#frame_hbox_volt_data_cell12 { margin: 1px; }"));
    auto *field = new QLineEdit(frame);
    field->setObjectName(QStringLiteral("data_cell12"));
    (new QHBoxLayout(frame))->addWidget(field);
    layout->addWidget(frame);
    auto *bare = new QLineEdit(&window);
    bare->setObjectName(QStringLiteral("data_soc"));
    layout->addWidget(bare);

    AlarmFieldMarker marker(&window);
    marker.setMarkedFields({QStringLiteral("data_cell12"), QStringLiteral("data_soc"),
                            QStringLiteral("data_nowhere")});
    QVERIFY(frame->styleSheet().contains(QStringLiteral("#frame_hbox_volt_data_cell12 { border")));
    QVERIFY(frame->property("alarm").toBool());
    QVERIFY(bare->styleSheet().contains(QStringLiteral("#data_soc { border")));
    QVERIFY(field->styleSheet().isEmpty());
    QCOMPARE(marker.markedFields().size(), 2);

    // Marking again changes nothing; unmarking restores the frame's own style.
    marker.setMarkedFields({QStringLiteral("data_cell12")});
    QCOMPARE(frame->styleSheet().count(QStringLiteral("border")), 1);
    QCOMPARE(bare->styleSheet(), QString());
    marker.setMarkedFields({});
    QCOMPARE(frame->styleSheet(), QStringLiteral("#frame_hbox_volt_data_cell12 { margin: 1px; }"));
    QVERIFY(!frame->property("alarm").toBool());
}

void tst_AlarmWidgets::notifierStaysQuietWithoutATray()
{
    // The offscreen platform has no notification area: nothing is shown, nothing fails.
    QWidget window;
    AlarmNotifier notifier(&window);
    QVERIFY(!notifier.wanted());
    QVERIFY(!notifier.notify(makeEvent("a", 1, AlarmRule::Severity::Alarm, 0)));
}

QTEST_MAIN(tst_AlarmWidgets)
#include "tst_alarmwidgets.moc"
