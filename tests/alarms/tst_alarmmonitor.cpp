// The monitor on a real protocol's value maps: rules from the protocol file and the user's file,
// events, the active set, and messages in the three languages.

#include "acquisition/sample.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmrulefile.h"
#include "i18n/translations.h"
#include "processing/dataprocessor.h"
#include "protocol/protocolconfig.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString protocolPath(const QString &file)
{
    return QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(file);
}

// A value map as the processing builds it for a cs-16s command, cells at 3300 mV but for the
// changes.
QVariantHash packValues(const ProtocolConfig &config, const QVariantMap &changes = {},
                        const QString &command = QStringLiteral("pack_status"))
{
    QVariantMap store;
    for (const DataSegment &s : config.dataSegments(command))
        store.insert(s.name, 1.0);
    for (int i = 1; i <= 16; ++i)
        store.insert(QStringLiteral("Vcell%1").arg(i), 3300.0);
    store.insert(QStringLiteral("Temp1"), 25.0);
    store.insert(QStringLiteral("soc"), 50.0);
    store.insert(QStringLiteral("ProtocolVersion"), QStringLiteral("12"));
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        store.insert(it.key(), it.value());
    DataProcessor processor;
    processor.setProtocolConfig(const_cast<ProtocolConfig *>(&config));
    return processor.processFrameValues(command, store, QStringLiteral("2024-01-01 00:00:00"));
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class tst_AlarmMonitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void catalogueKnowsEveryKeyOfTheValueMap();
    void protocolDefaultsRaiseOnACell();
    void userFileOverridesTheDefault();
    void badUserFileLeavesTheDefaultsActive();
    void dialogRulesApplyWithoutLosingUnchangedAlarms();
    void messages_data();
    void messages();

private:
    ProtocolConfig m_config;
};

void tst_AlarmMonitor::initTestCase()
{
    QVERIFY(m_config.loadConfig(protocolPath(QStringLiteral("cs-16s.json"))));
}

void tst_AlarmMonitor::catalogueKnowsEveryKeyOfTheValueMap()
{
    // The catalogue's list of derived figures must follow the processing: a figure it lacked
    // would refuse a valid rule, one it had extra would accept a rule that never fires.
    QStringList inMap;
    for (const QString &command : m_config.commandNames()) {
        const QStringList keys = packValues(m_config, {}, command).keys();
        for (const QString &key : keys) {
            if (!inMap.contains(key))
                inMap.append(key);
        }
    }
    QStringList inCatalogue = AlarmCatalogue::fromProtocol(m_config).keys();
    inMap.sort();
    inCatalogue.sort();
    for (const QString &key : std::as_const(inCatalogue))
        QVERIFY2(inMap.contains(key), qPrintable(key + QStringLiteral(" not in the value map")));
    for (const QString &key : std::as_const(inMap))
        QVERIFY2(inCatalogue.contains(key), qPrintable(key + QStringLiteral(" not catalogued")));
}

void tst_AlarmMonitor::protocolDefaultsRaiseOnACell()
{
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(QStringLiteral("cs-16s.json")), QString());
    QVERIFY(monitor.problems().isEmpty());
    QSignalSpy raised(&monitor, &AlarmMonitor::raised);
    QSignalSpy cleared(&monitor, &AlarmMonitor::cleared);
    QSignalSpy changed(&monitor, &AlarmMonitor::activeChanged);

    const QVariantHash normal = packValues(m_config);
    const QVariantHash high = packValues(m_config, {{QStringLiteral("Vcell12"), 3700.0}});
    Sample sample;
    QList<int> raisedAt;
    QList<int> clearedAt;
    for (int answer = 1; answer <= 30; ++answer) {
        sample.timeMs = 1000LL * answer;
        sample.values = answer >= 5 && answer < 25 ? high : normal;
        monitor.processSample(sample);
        if (raised.size() > raisedAt.size())
            raisedAt.append(answer);
        if (cleared.size() > clearedAt.size())
            clearedAt.append(answer);
        if (answer == 10) {
            QCOMPARE(monitor.activeCount(), 1);
            QCOMPARE(monitor.activeShortNames(), QStringLiteral("cell_overvoltage(12)"));
            QCOMPARE(monitor.activeFields(), QStringList{QStringLiteral("data_cell12")});
        }
    }
    // Delay of two frames after the first answer at 3700 mV; cleared with the first normal one.
    QCOMPARE(raisedAt, QList<int>{7});
    QCOMPARE(clearedAt, QList<int>{25});
    QCOMPARE(changed.size(), 2);
    const AlarmEvent e = raised.first().first().value<AlarmEvent>();
    QCOMPARE(e.cell, 12);
    QCOMPARE(e.timeMs, 7000);
    QCOMPARE(e.message(Chinese), QStringLiteral("电芯12 过压"));
    QVERIFY(e.toJson().contains(QStringLiteral("\"cell\":12")));
    QCOMPARE(monitor.activeCount(), 0);
    QCOMPARE(monitor.activeShortNames(), QString());
}

void tst_AlarmMonitor::userFileOverridesTheDefault()
{
    QTemporaryDir dir;
    const QString user = dir.filePath(QStringLiteral("alarms.json"));
    writeFile(user, R"({"alarms": [
        {"name": "cell_overvoltage", "value": "Vcell*", "high": 3500},
        {"name": "spread", "value": "voltage_diff", "high": 50, "severity": "alarm"}]})");
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(QStringLiteral("cs-16s.json")), user);
    QVERIFY(monitor.problems().isEmpty());
    QSignalSpy raised(&monitor, &AlarmMonitor::raised);

    monitor.processValues(packValues(m_config, {{QStringLiteral("Vcell3"), 3600.0}}), 0);
    QCOMPARE(raised.size(), 2); // the user's limit, no delay; and the spread of 300 mV
    QStringList rules;
    for (const auto &args : raised)
        rules.append(args.first().value<AlarmEvent>().shortName());
    QCOMPARE(rules, (QStringList{"cell_overvoltage(3)", "spread"}));
}

void tst_AlarmMonitor::badUserFileLeavesTheDefaultsActive()
{
    QTemporaryDir dir;
    const QString user = dir.filePath(QStringLiteral("alarms.json"));
    writeFile(user, R"({"alarms": [
        {"name": "typo", "value": "Vcel*", "high": 3500},
        {"name": "upside_down", "value": "soc", "high": 10, "low": 20},
        {"name": "cell_undervoltage", "value": "Vcell*", "low": 3000, "hysteresis": -5}]})");
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(QStringLiteral("cs-16s.json")), user);
    QStringList reasons;
    for (const AlarmProblem &p : monitor.problems())
        reasons.append(p.text(English));
    QCOMPARE(reasons,
             (QStringList{"Rule upside_down: Low limit above high limit",
                          "Rule cell_undervoltage: Hysteresis must not be negative",
                          "Rule typo: Unknown value: Vcel*"}));
    // The refused override leaves the default in force.
    QSignalSpy raised(&monitor, &AlarmMonitor::raised);
    for (int i = 0; i < 3; ++i)
        monitor.processValues(packValues(m_config, {{QStringLiteral("Vcell1"), 2700.0}}), i);
    QCOMPARE(raised.size(), 1);
    QCOMPARE(raised.first().first().value<AlarmEvent>().rule, QStringLiteral("cell_undervoltage"));

    writeFile(user, "{ not json");
    monitor.load(m_config, protocolPath(QStringLiteral("cs-16s.json")), user);
    QCOMPARE(monitor.problems().size(), 1);
    QCOMPARE(monitor.problems().first().kind, AlarmProblem::Kind::NotJson);
    QCOMPARE(monitor.problems().first().source, user);
    QCOMPARE(monitor.rules().size(), monitor.defaultRules().size());
}

void tst_AlarmMonitor::dialogRulesApplyWithoutLosingUnchangedAlarms()
{
    AlarmMonitor monitor;
    monitor.load(m_config, protocolPath(QStringLiteral("cs-16s.json")), QString());
    for (int i = 0; i < 3; ++i)
        monitor.processValues(
                packValues(m_config,
                           {{QStringLiteral("Vcell1"), 3700.0}, {QStringLiteral("soc"), 5.0}}),
                i * 20000);
    QCOMPARE(monitor.activeShortNames(), QStringLiteral("soc_low cell_overvoltage(1)"));

    QSignalSpy raised(&monitor, &AlarmMonitor::raised);
    QSignalSpy cleared(&monitor, &AlarmMonitor::cleared);
    QList<AlarmRule> user = monitor.defaultRules();
    auto soc = std::find_if(user.begin(), user.end(),
                            [](const AlarmRule &r) { return r.name == QLatin1String("soc_low"); });
    soc->low = 3;
    monitor.setUserRules(AlarmRuleFile::overrides(monitor.defaultRules(), user));
    QCOMPARE(cleared.size(), 1);
    QCOMPARE(monitor.activeShortNames(), QStringLiteral("cell_overvoltage(1)"));
    monitor.processValues(
            packValues(m_config,
                       {{QStringLiteral("Vcell1"), 3700.0}, {QStringLiteral("soc"), 5.0}}),
            100000);
    QCOMPARE(raised.size(), 0);
}

void tst_AlarmMonitor::messages_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("cell high") << R"({"name": "r", "value": "Vcell*", "high": 3650})"
                               << "Vcell12" << 3700.0
                               << QStringList{"电芯12 过压", "Cell 12 overvoltage",
                                              "Zelle 12 Überspannung"};
    QTest::newRow("cell low") << R"({"name": "r", "value": "Vcell*", "low": 2800})"
                              << "Vcell3" << 2000.0
                              << QStringList{"电芯3 欠压", "Cell 3 undervoltage",
                                             "Zelle 3 Unterspannung"};
    QTest::newRow("cell with the rule's text")
            << R"({"name": "r", "value": "Vcell*", "high": 3650, "text": "需要均衡"})"
            << "Vcell7" << 3700.0
            << QStringList{"电芯7 需要均衡", "Cell 7 需要均衡", "Zelle 7 需要均衡"};
    QTest::newRow("derived figure")
            << R"({"name": "r", "value": "data_maxtemperature", "high": 45})"
            << "data_maxtemperature" << 50.0
            << QStringList{"最高温度 过高", "Highest Temp too high", "Höchste Temperatur zu hoch"};
    QTest::newRow("segment captioned by its column")
            << R"({"name": "r", "value": "Temp2", "low": 0})"
            << "Temp2" << -5.0 << QStringList{"温度2 过低", "Temp 2 too low", "Temp 2 zu niedrig"};
    QTest::newRow("own text only") << R"({"name": "r", "value": "soc", "low": 10, "text": "SOC!"})"
                                   << "soc" << 5.0 << QStringList{"SOC!", "SOC!", "SOC!"};
}

void tst_AlarmMonitor::messages()
{
    QFETCH(QString, rule);
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(QStringList, expected);
    AlarmMonitor monitor;
    const AlarmRuleList rules =
            AlarmRuleFile::fromFileContent(QByteArray("[") + rule.toUtf8() + QByteArray("]"));
    QCOMPARE(rules.rules.size(), 1);
    monitor.configure(AlarmCatalogue::fromProtocol(m_config), rules.rules, {});
    QSignalSpy raised(&monitor, &AlarmMonitor::raised);
    monitor.processValues({{key, value}}, 0);
    QCOMPARE(raised.size(), 1);
    const AlarmEvent e = raised.first().first().value<AlarmEvent>();
    QCOMPARE(e.message(Chinese), expected.at(0));
    QCOMPARE(e.message(English), expected.at(1));
    QCOMPARE(e.message(German), expected.at(2));
}

QTEST_GUILESS_MAIN(tst_AlarmMonitor)
#include "tst_alarmmonitor.moc"
