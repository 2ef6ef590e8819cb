// The evaluator frame by frame: limits, hysteresis, delays, cells, missing values and texts.

#include "alarms/alarmevaluator.h"
#include "alarms/alarmrulefile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

QList<AlarmRule> rulesFrom(const QString &json)
{
    const AlarmRuleList list =
            AlarmRuleFile::fromJson(QJsonDocument::fromJson(json.toUtf8()).array());
    if (!list.problems.isEmpty())
        qWarning() << "rule refused:" << list.problems.first().text(1);
    return list.rules;
}

// "@1500 v=3700 Vcell2=abc": the frame's time (default: its index in seconds) and its values;
// a value that is not a number stays a text.
QVariantHash frameValues(const QString &frame, int index, qint64 *timeMs)
{
    *timeMs = qint64(index) * 1000;
    QVariantHash values;
    const QStringList parts = frame.split(u' ', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part.startsWith(u'@')) {
            *timeMs = part.mid(1).toLongLong();
            continue;
        }
        const QString key = part.section(u'=', 0, 0);
        const QString text = part.section(u'=', 1);
        bool ok = false;
        const double v = text.toDouble(&ok);
        values.insert(key, ok ? QVariant(v) : QVariant(text));
    }
    return values;
}

// "R3" raised at frame 3, "C5:12" cleared at frame 5 for cell 12, "/name" the rule when
// several rules are in play.
QString describe(const AlarmEvent &e, int frame, bool withRule)
{
    QString s = QStringLiteral("%1%2")
                        .arg(QChar(e.kind == AlarmEvent::Kind::Raised ? u'R' : u'C'))
                        .arg(frame);
    if (e.cell > 0)
        s += QStringLiteral(":%1").arg(e.cell);
    if (withRule)
        s += u'/' + e.rule;
    return s;
}

} // namespace

class tst_AlarmEvaluator : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void eventCarriesWhatRaisedIt();
    void textWarnsOncePerRule();
    void unchangedRulesKeepTheirAlarms();
    void activeListsOldestFirst();
};

void tst_AlarmEvaluator::frames_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("events");

    const QString high = QStringLiteral(R"([{"name": "h", "value": "v", "high": 3650}])");
    const QString low = QStringLiteral(R"([{"name": "l", "value": "v", "low": 2800}])");
    const QString highHyst =
            QStringLiteral(R"([{"name": "h", "value": "v", "high": 3650, "hysteresis": 50}])");
    const QString lowHyst =
            QStringLiteral(R"([{"name": "l", "value": "v", "low": 2800, "hysteresis": 100}])");
    const QString frames2 =
            QStringLiteral(R"([{"name": "h", "value": "v", "high": 3650, "delayFrames": 2}])");
    const QString seconds5 =
            QStringLiteral(R"([{"name": "h", "value": "v", "high": 3650, "delaySeconds": 5}])");
    const QString cells = QStringLiteral(
            R"([{"name": "c", "value": "Vcell*", "high": 3650, "low": 2800, "hysteresis": 50}])");

    QTest::newRow("high: raises above, clears at the limit")
            << high << QStringList{"v=3600", "v=3700", "v=3650", "v=3600"} << "R1 C2";
    QTest::newRow("high: at the limit is not above it")
            << high << QStringList{"v=3650", "v=3650"} << "";
    QTest::newRow("low: raises below, clears at the limit")
            << low << QStringList{"v=3000", "v=2799", "v=2800"} << "R1 C2";
    QTest::newRow("high: hysteresis holds it until back past the limit by that much")
            << highHyst << QStringList{"v=3700", "v=3620", "v=3601", "v=3600", "v=3700"}
            << "R0 C3 R4";
    QTest::newRow("low: hysteresis")
            << lowHyst << QStringList{"v=2700", "v=2850", "v=2900"} << "R0 C2";
    QTest::newRow("both limits: high to low in one frame clears and raises")
            << QStringLiteral(R"([{"name": "b", "value": "v", "high": 3650, "low": 2800}])")
            << QStringList{"v=3700", "v=2700", "v=3000"} << "R0 C1 R1 C2";
    QTest::newRow("frames: raises on the third frame in a row")
            << frames2 << QStringList{"v=3700", "v=3700", "v=3700", "v=3700"} << "R2";
    QTest::newRow("frames: a frame back below starts the count again")
            << frames2 << QStringList{"v=3700", "v=3700", "v=3600", "v=3700", "v=3700", "v=3700"}
            << "R5";
    QTest::newRow("frames: clearing takes no delay")
            << frames2 << QStringList{"v=3700", "v=3700", "v=3700", "v=3600"} << "R2 C3";
    QTest::newRow("seconds: raises when the condition has held that long")
            << seconds5 << QStringList{"@0 v=3700", "@2000 v=3700", "@4999 v=3700", "@5000 v=3700"}
            << "R3";
    QTest::newRow("seconds: a gap between frames counts")
            << seconds5 << QStringList{"@0 v=3700", "@6000 v=3700"} << "R1";
    QTest::newRow("seconds: interrupted starts again")
            << seconds5
            << QStringList{"@0 v=3700", "@4000 v=3600", "@5000 v=3700", "@9000 v=3700",
                           "@10000 v=3700"}
            << "R4";
    QTest::newRow("seconds: a clock set back restarts the wait")
            << seconds5
            << QStringList{"@10000 v=3700", "@1000 v=3700", "@5999 v=3700", "@6000 v=3700"} << "R3";
    QTest::newRow("missing: a pending count survives frames without the value")
            << frames2 << QStringList{"v=3700", "x=1", "v=3700", "x=1", "v=3700"} << "R4";
    QTest::newRow("missing: an active alarm stays until the value comes back low")
            << high << QStringList{"v=3700", "x=1", "x=1", "v=3600"} << "R0 C3";
    QTest::newRow("text: ignored, the state stays")
            << highHyst << QStringList{"v=3700", "v=n/a", "v=3640", "v=3600"} << "R0 C3";
    QTest::newRow("text: does not break a pending delay")
            << frames2 << QStringList{"v=3700", "v=err", "v=3700", "v=3700"} << "R3";
    QTest::newRow("cells: the cell above the limit is named")
            << cells
            << QStringList{"Vcell1=3300 Vcell2=3300 Vcell12=3300",
                           "Vcell1=3300 Vcell2=3300 Vcell12=3700",
                           "Vcell1=3300 Vcell2=3300 Vcell12=3601",
                           "Vcell1=3300 Vcell2=3300 Vcell12=3600"}
            << "R1:12 C3:12";
    QTest::newRow("cells: each cell has its own alarm, events in cell order")
            << cells
            << QStringList{"Vcell10=3700 Vcell2=2700 Vcell3=3300",
                           "Vcell10=3300 Vcell2=3300 Vcell3=3300"}
            << "R0:2 R0:10 C1:2 C1:10";
    QTest::newRow("cells: a channel that never read anything is not a cell")
            << cells << QStringList{"Vcell1=3300 Vcell2=0", "Vcell1=3300 Vcell2=0"} << "";
    QTest::newRow("cells: a fitted cell that drops to 0 raises")
            << cells << QStringList{"Vcell1=3300 Vcell2=3300", "Vcell1=3300 Vcell2=0"} << "R1:2";
    QTest::newRow("cells: a cell missing from a frame keeps its alarm")
            << cells << QStringList{"Vcell1=3700 Vcell2=3300", "Vcell2=3300", "Vcell1=3300"}
            << "R0:1 C2:1";
    QTest::newRow("one cell by name is named too")
            << QStringLiteral(R"([{"name": "c5", "value": "Vcell5", "high": 3650}])")
            << QStringList{"Vcell5=3700"} << "R0:5";
    QTest::newRow("several rules on one value")
            << QStringLiteral(R"([{"name": "warn", "value": "v", "high": 3600},
                                  {"name": "trip", "value": "v", "high": 3650, "delayFrames": 1}])")
            << QStringList{"v=3620", "v=3700", "v=3700", "v=3620", "v=3500"}
            << "R0/warn R2/trip C3/trip C4/warn";
    QTest::newRow("a disabled rule raises nothing")
            << QStringLiteral(R"([{"name": "h", "value": "v", "high": 1, "enabled": false}])")
            << QStringList{"v=3700"} << "";
}

void tst_AlarmEvaluator::frames()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, frames);
    QFETCH(QString, events);

    const QList<AlarmRule> list = rulesFrom(rules);
    QVERIFY(!list.isEmpty());
    AlarmEvaluator evaluator;
    evaluator.setRules(list, 0);
    QStringList seen;
    for (int i = 0; i < frames.size(); ++i) {
        qint64 time = 0;
        const QVariantHash values = frameValues(frames.at(i), i, &time);
        const QList<AlarmEvent> out = evaluator.evaluate(values, time);
        for (const AlarmEvent &e : out)
            seen.append(describe(e, i, list.size() > 1));
    }
    QCOMPARE(seen.join(u' '), events);
}

void tst_AlarmEvaluator::eventCarriesWhatRaisedIt()
{
    AlarmCatalogue catalogue;
    catalogue.addEntry({QStringLiteral("Vcell12"), QStringLiteral("mV"), QStringLiteral("电芯12"),
                        QStringLiteral("data_cell12"), true});
    AlarmEvaluator evaluator;
    evaluator.setCatalogue(catalogue);
    evaluator.setRules(rulesFrom(R"([{"name": "ov", "value": "Vcell*", "high": 3650,
        "hysteresis": 50, "severity": "alarm", "text": "过压!"}])"),
                       0);
    QList<AlarmEvent> out = evaluator.evaluate({{"Vcell12", 3700.0}}, 1234);
    QCOMPARE(out.size(), 1);
    AlarmEvent e = out.first();
    QCOMPARE(e.kind, AlarmEvent::Kind::Raised);
    QCOMPARE(e.timeMs, 1234);
    QCOMPARE(e.rule, QStringLiteral("ov"));
    QCOMPARE(e.key, QStringLiteral("Vcell12"));
    QCOMPARE(e.cell, 12);
    QCOMPARE(e.value, 3700.0);
    QCOMPARE(e.limit, 3650.0);
    QCOMPARE(e.side, AlarmEvent::Side::High);
    QCOMPARE(e.severity, AlarmRule::Severity::Alarm);
    QCOMPARE(e.unit, QStringLiteral("mV"));
    QCOMPARE(e.valueText(), QStringLiteral("3700 mV"));
    QCOMPARE(e.shortName(), QStringLiteral("ov(12)"));
    QCOMPARE(evaluator.active().size(), 1);

    out = evaluator.evaluate({{"Vcell12", 3550.5}}, 2000);
    QCOMPARE(out.size(), 1);
    e = out.first();
    QCOMPARE(e.kind, AlarmEvent::Kind::Cleared);
    QCOMPARE(e.timeMs, 2000);
    QCOMPARE(e.value, 3550.5);
    QCOMPARE(e.limit, 3650.0);
    QVERIFY(evaluator.active().isEmpty());
}

void tst_AlarmEvaluator::textWarnsOncePerRule()
{
    AlarmEvaluator evaluator;
    evaluator.setRules(rulesFrom(R"([{"name": "a", "value": "v", "high": 1},
                                     {"name": "b", "value": "v", "low": 0}])"),
                       0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Alarm rule a: .*not a number"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Alarm rule b: .*not a number"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(evaluator.evaluate({{"v", QStringLiteral("ERR")}}, i).isEmpty());
    // QTest fails on a third, unexpected warning.
}

void tst_AlarmEvaluator::unchangedRulesKeepTheirAlarms()
{
    AlarmEvaluator evaluator;
    const QList<AlarmRule> two = rulesFrom(R"([{"name": "a", "value": "v", "high": 1},
                                             {"name": "b", "value": "w", "high": 1}])");
    evaluator.setRules(two, 0);
    QCOMPARE(evaluator.evaluate({{"v", 5.0}, {"w", 5.0}}, 0).size(), 2);

    // b's limit changes: its alarm clears (without a value) and is judged again on the next
    // frame; a keeps its alarm and raises nothing new.
    QList<AlarmRule> changed = two;
    changed[1].high = 10;
    const QList<AlarmEvent> cleared = evaluator.setRules(changed, 500);
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(cleared.first().rule, QStringLiteral("b"));
    QCOMPARE(cleared.first().kind, AlarmEvent::Kind::Cleared);
    QVERIFY(std::isnan(cleared.first().value));
    QCOMPARE(evaluator.active().size(), 1);
    QVERIFY(evaluator.evaluate({{"v", 5.0}, {"w", 5.0}}, 1000).isEmpty());

    // Removing a rule clears its alarm.
    QCOMPARE(evaluator.setRules({changed[1]}, 1500).size(), 1);
    QVERIFY(evaluator.active().isEmpty());
}

void tst_AlarmEvaluator::activeListsOldestFirst()
{
    AlarmEvaluator evaluator;
    evaluator.setRules(rulesFrom(R"([{"name": "a", "value": "v", "high": 1},
                                     {"name": "b", "value": "w", "high": 1}])"),
                       0);
    evaluator.evaluate({{"w", 5.0}}, 0);
    evaluator.evaluate({{"v", 5.0}}, 1);
    const QList<AlarmEvent> active = evaluator.active();
    QCOMPARE(active.size(), 2);
    QCOMPARE(active.at(0).rule, QStringLiteral("b"));
    QCOMPARE(active.at(1).rule, QStringLiteral("a"));
    QCOMPARE(evaluator.clearAll(2).size(), 2);
    QVERIFY(evaluator.active().isEmpty());
}

QTEST_GUILESS_MAIN(tst_AlarmEvaluator)
#include "tst_alarmevaluator.moc"
