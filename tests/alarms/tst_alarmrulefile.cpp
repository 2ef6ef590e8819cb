// Rule files: what is refused and why, what survives beside it, merging the user's rules over a
// protocol's defaults, and the sample protocols' defaults.

#include "alarms/alarmcatalogue.h"
#include "alarms/alarmrulefile.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString kindName(AlarmProblem::Kind kind)
{
    static const char *names[] = {
            "Unreadable",    "NotJson",       "NotAnArray",       "NotAnObject",
            "MissingName",   "DuplicateName", "UnknownField",     "WrongType",
            "NotANumber",    "MissingValue",  "UnknownValue",     "TextValue",
            "NoCells",       "NoLimit",       "LowAboveHigh",     "NegativeHysteresis",
            "NegativeDelay", "BothDelays",    "FractionalFrames", "UnknownSeverity"};
    return QString::fromLatin1(names[int(kind)]);
}

QString describe(const AlarmProblems &problems)
{
    QStringList out;
    for (const AlarmProblem &p : problems)
        out.append(p.isFileProblem() ? kindName(p.kind) : p.rule + u':' + kindName(p.kind));
    return out.join(u' ');
}

QString names(const QList<AlarmRule> &rules)
{
    QStringList out;
    for (const AlarmRule &r : rules)
        out.append(r.name + (r.enabled ? QString() : QStringLiteral("(off)")));
    return out.join(u' ');
}

QList<AlarmRule> parse(const char *json)
{
    const AlarmRuleList list = AlarmRuleFile::fromFileContent(QByteArray(json));
    return list.rules;
}

QString protocolPath(const char *file)
{
    return QDir(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR)).filePath(QString::fromLatin1(file));
}

} // namespace

class tst_AlarmRuleFile : public QObject
{
    Q_OBJECT

private slots:
    void content_data();
    void content();
    void unknownValues_data();
    void unknownValues();
    void reasonsInEveryLanguage();
    void readsAndWritesFiles();
    void merge_data();
    void merge();
    void overridesGiveBackTheEditedList();
    void sampleProtocolDefaults_data();
    void sampleProtocolDefaults();
};

void tst_AlarmRuleFile::content_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("accepted");
    QTest::addColumn<QString>("problems");

    QTest::newRow("not JSON") << QByteArray("{\"alarms\": [") << ""
                              << "NotJson";
    QTest::newRow("no alarms array") << QByteArray(R"({"alarm": []})") << ""
                                     << "NotAnArray";
    QTest::newRow("bare array") << QByteArray(R"([{"name": "a", "value": "v", "high": 1}])") << "a"
                                << "";
    QTest::newRow("full rule") << QByteArray(
            R"({"alarms": [{"name": "a", "value": "Vcell*", "high": 3650,
                "low": 2800, "hysteresis": 50, "delayFrames": 2, "severity": "alarm",
                "text": "x", "enabled": true, "_comment": "kept out"}]})")
                               << "a"
                               << "";
    QTest::newRow("low above high, others stay")
            << QByteArray(R"([{"name": "bad", "value": "v", "high": 1, "low": 2},
                              {"name": "good", "value": "v", "high": 2, "low": 1}])")
            << "good"
            << "bad:LowAboveHigh";
    QTest::newRow("negative hysteresis")
            << QByteArray(R"([{"name": "h", "value": "v", "high": 1, "hysteresis": -1}])") << ""
            << "h:NegativeHysteresis";
    QTest::newRow("negative delays")
            << QByteArray(R"([{"name": "s", "value": "v", "high": 1, "delaySeconds": -1},
                              {"name": "f", "value": "v", "high": 1, "delayFrames": -2}])")
            << ""
            << "s:NegativeDelay f:NegativeDelay";
    QTest::newRow("both delays") << QByteArray(
            R"([{"name": "d", "value": "v", "high": 1, "delaySeconds": 1,
                               "delayFrames": 1}])")
                                 << ""
                                 << "d:BothDelays";
    QTest::newRow("fractional frames")
            << QByteArray(R"([{"name": "d", "value": "v", "high": 1, "delayFrames": 1.5}])") << ""
            << "d:FractionalFrames";
    QTest::newRow("no limit") << QByteArray(R"([{"name": "n", "value": "v"}])") << ""
                              << "n:NoLimit";
    QTest::newRow("limit as a text")
            << QByteArray(R"([{"name": "t", "value": "v", "high": "3.6"}])") << ""
            << "t:NotANumber";
    QTest::newRow("no name, named by position")
            << QByteArray(R"([{"name": "a", "value": "v", "high": 1}, {"value": "v", "high": 1}])")
            << "a"
            << "#2:MissingName";
    QTest::newRow("duplicate name: the first stays")
            << QByteArray(R"([{"name": "a", "value": "v", "high": 1},
                              {"name": "a", "value": "w", "high": 1}])")
            << "a"
            << "a:DuplicateName";
    QTest::newRow("not an object")
            << QByteArray(R"([3, {"name": "a", "value": "v", "low": 1}])") << "a"
            << "#1:NotAnObject";
    QTest::newRow("misspelt member")
            << QByteArray(R"([{"name": "a", "value": "v", "high": 1, "hystersis": 5}])") << ""
            << "a:UnknownField";
    QTest::newRow("unknown severity")
            << QByteArray(R"([{"name": "a", "value": "v", "high": 1, "severity": "fatal"}])") << ""
            << "a:UnknownSeverity";
    QTest::newRow("no value") << QByteArray(R"([{"name": "a", "high": 1}])") << ""
                              << "a:MissingValue";
    QTest::newRow("switch-off entry needs nothing else")
            << QByteArray(R"([{"name": "a", "enabled": false}])") << "a(off)"
            << "";
    QTest::newRow("enabled as a text")
            << QByteArray(R"([{"name": "a", "value": "v", "high": 1, "enabled": "no"}])") << ""
            << "a:WrongType";
}

void tst_AlarmRuleFile::content()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, accepted);
    QFETCH(QString, problems);
    const AlarmRuleList list = AlarmRuleFile::fromFileContent(content);
    QCOMPARE(names(list.rules), accepted);
    QCOMPARE(describe(list.problems), problems);
}

void tst_AlarmRuleFile::unknownValues_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<QString>("accepted");
    QTest::addColumn<QString>("problems");

    QTest::newRow("segment, derived figure, cells")
            << "cs-16s.json" << QByteArray(R"([{"name": "a", "value": "Temp4", "high": 1},
                              {"name": "b", "value": "voltage_diff", "high": 1},
                              {"name": "c", "value": "Vcell*", "high": 1},
                              {"name": "d", "value": "Vcell16", "high": 1}])")
            << "a b c d"
            << "";
    QTest::newRow("a value the protocol does not carry")
            << "cs-8s.json" << QByteArray(R"([{"name": "t4", "value": "Temp4", "high": 1},
                              {"name": "ok", "value": "Temp2", "high": 1},
                              {"name": "typo", "value": "data_maxV", "high": 1}])")
            << "ok"
            << "t4:UnknownValue typo:UnknownValue";
    QTest::newRow("a value that is always a text")
            << "cs-16s.json"
            << QByteArray(R"([{"name": "s", "value": "current_status", "high": 1}])") << ""
            << "s:TextValue";
}

void tst_AlarmRuleFile::unknownValues()
{
    QFETCH(QString, protocol);
    QFETCH(QByteArray, rules);
    QFETCH(QString, accepted);
    QFETCH(QString, problems);
    ProtocolConfig config;
    QVERIFY(config.loadConfig(protocolPath(protocol.toLatin1().constData())));
    const AlarmRuleList checked =
            AlarmCatalogue::fromProtocol(config).check(AlarmRuleFile::fromFileContent(rules).rules);
    QCOMPARE(names(checked.rules), accepted);
    QCOMPARE(describe(checked.problems), problems);
}

void tst_AlarmRuleFile::reasonsInEveryLanguage()
{
    const AlarmRuleList list = AlarmRuleFile::fromFileContent(
            R"([{"name": "cell_low", "value": "v", "high": 1, "low": 2}])");
    QCOMPARE(list.problems.size(), 1);
    const AlarmProblem &p = list.problems.first();
    QCOMPARE(p.text(Chinese), QStringLiteral("规则 cell_low: 下限高于上限"));
    QCOMPARE(p.text(English), QStringLiteral("Rule cell_low: Low limit above high limit"));
    QCOMPARE(p.text(German), QStringLiteral("Regel cell_low: Untergrenze über Obergrenze"));
    // Every kind has a reason in every language, none of them falling back to English.
    for (int k = 0; k <= int(AlarmProblem::Kind::UnknownSeverity); ++k) {
        AlarmProblem q;
        q.kind = AlarmProblem::Kind(k);
        q.detail = QStringLiteral("x");
        QVERIFY2(!q.reason(Chinese).isEmpty(), qPrintable(kindName(q.kind)));
        QVERIFY2(q.reason(German) != q.reason(English), qPrintable(kindName(q.kind)));
    }
}

void tst_AlarmRuleFile::readsAndWritesFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/alarms.json"));
    // A file that does not exist is no problem and holds no rules.
    QVERIFY(AlarmRuleFile::readFile(path).problems.isEmpty());

    QList<AlarmRule> rules = parse(R"([{"name": "a", "value": "Vcell*", "high": 3650.5,
        "hysteresis": 20, "delaySeconds": 2.5, "severity": "alarm", "text": "电芯过压"},
        {"name": "b", "value": "soc", "low": 10, "delayFrames": 3, "enabled": false},
        {"name": "c", "enabled": false}])");
    QCOMPARE(rules.size(), 3);
    QString error;
    QVERIFY2(AlarmRuleFile::writeFile(path, rules, &error), qPrintable(error));
    const AlarmRuleList back = AlarmRuleFile::readFile(path);
    QVERIFY(back.problems.isEmpty());
    QCOMPARE(back.rules.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(back.rules.at(i) == rules.at(i), qPrintable(rules.at(i).name));

    // An unreadable path is reported, not taken for an empty file.
    const AlarmRuleList unreadable = AlarmRuleFile::readFile(dir.path());
    QCOMPARE(describe(unreadable.problems), QStringLiteral("Unreadable"));
    // Writing into a path whose directory cannot be made fails with a reason.
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!AlarmRuleFile::writeFile(dir.filePath(QStringLiteral("file/x.json")), rules, &error));
    QVERIFY(!error.isEmpty());
}

void tst_AlarmRuleFile::merge_data()
{
    QTest::addColumn<QByteArray>("defaults");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QString>("merged");
    QTest::addColumn<double>("firstHigh");

    const QByteArray defaults = R"([{"name": "a", "value": "v", "high": 1},
                                    {"name": "b", "value": "v", "high": 2}])";
    QTest::newRow("no user rules") << defaults << QByteArray("[]") << "a b" << 1.0;
    QTest::newRow("user replaces by name, in place")
            << defaults << QByteArray(R"([{"name": "a", "value": "v", "high": 9}])") << "a b"
            << 9.0;
    QTest::newRow("user adds after the defaults")
            << defaults << QByteArray(R"([{"name": "z", "value": "v", "high": 9}])") << "a b z"
            << 1.0;
    QTest::newRow("switch-off keeps the default, disabled")
            << defaults << QByteArray(R"([{"name": "a", "enabled": false}])") << "a(off) b" << 1.0;
    QTest::newRow("switch-off of nothing is dropped")
            << defaults << QByteArray(R"([{"name": "q", "enabled": false}])") << "a b" << 1.0;
}

void tst_AlarmRuleFile::merge()
{
    QFETCH(QByteArray, defaults);
    QFETCH(QByteArray, user);
    QFETCH(QString, merged);
    QFETCH(double, firstHigh);
    const QList<AlarmRule> out =
            AlarmRuleFile::merge(parse(defaults.constData()), parse(user.constData()));
    QCOMPARE(names(out), merged);
    QCOMPARE(out.first().high, firstHigh);
}

void tst_AlarmRuleFile::overridesGiveBackTheEditedList()
{
    const QList<AlarmRule> defaults = parse(R"([{"name": "a", "value": "v", "high": 1},
        {"name": "b", "value": "v", "high": 2}, {"name": "c", "value": "v", "high": 3}])");
    // The user changed b, removed c and added d.
    QList<AlarmRule> edited = defaults;
    edited[1].high = 20;
    edited.removeAt(2);
    edited.append(parse(R"([{"name": "d", "value": "w", "low": 0}])"));
    const QList<AlarmRule> user = AlarmRuleFile::overrides(defaults, edited);
    QCOMPARE(names(user), QStringLiteral("b d c(off)"));
    QCOMPARE(names(AlarmRuleFile::merge(defaults, user)), QStringLiteral("a b c(off) d"));
}

void tst_AlarmRuleFile::sampleProtocolDefaults_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("16 cells") << "cs-16s.json";
    QTest::newRow("8 cells") << "cs-8s.json";
}

void tst_AlarmRuleFile::sampleProtocolDefaults()
{
    QFETCH(QString, file);
    const QString path = protocolPath(file.toLatin1().constData());
    ProtocolConfig config;
    // The application's loader takes the file with its "alarms" key as before.
    QVERIFY(config.loadConfig(path));
    const AlarmRuleList defaults = AlarmRuleFile::readProtocolDefaults(path);
    QVERIFY2(defaults.problems.isEmpty(), qPrintable(describe(defaults.problems)));
    QVERIFY(!defaults.rules.isEmpty());
    const AlarmRuleList checked = AlarmCatalogue::fromProtocol(config).check(defaults.rules);
    QVERIFY2(checked.problems.isEmpty(), qPrintable(describe(checked.problems)));

    // A high-cell rule that 3700 mV passes, and nothing that the pack's normal readings trip.
    const auto cellHigh =
            std::find_if(defaults.rules.cbegin(), defaults.rules.cend(),
                         [](const AlarmRule &r) { return r.isEveryCell() && r.hasHigh; });
    QVERIFY(cellHigh != defaults.rules.cend());
    QVERIFY(cellHigh->high < 3700.0);
    QVERIFY(cellHigh->high - cellHigh->hysteresis > 3400.0);
}

QTEST_GUILESS_MAIN(tst_AlarmRuleFile)
#include "tst_alarmrulefile.moc"
