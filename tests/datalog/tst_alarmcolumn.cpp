// The table's optional alarm column: off, the table and its CSV are as the protocol declares
// them; on, each row carries the active alarms' short names of its moment.

#include "datalog/csvwriter.h"
#include "datalog/rdmodel.h"
#include "i18n/translations.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<TableColumn> columns()
{
    TableColumn a;
    a.header = QStringLiteral("电芯1 (mV)");
    a.field = QStringLiteral("Vcell1");
    TableColumn b;
    b.header = QStringLiteral("SOC (%)");
    b.field = QStringLiteral("soc");
    return {a, b};
}

QByteArray csv(const RDModel &model, const QString &path)
{
    if (!CsvWriter::exportToFile(&model, CsvWriter::allColumns(&model), path).ok)
        return QByteArray();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_AlarmColumn : public QObject
{
    Q_OBJECT

private slots:
    void offLeavesTheTableAsDeclared();
    void rowsKeepTheAlarmsOfTheirMoment();
    void headerFollowsTheLanguage_data();
    void headerFollowsTheLanguage();
    void comesAndGoesAtTheEnd();
};

void tst_AlarmColumn::offLeavesTheTableAsDeclared()
{
    QTemporaryDir dir;
    RDModel plain;
    plain.setColumns(columns());
    RDModel toggled;
    toggled.setColumns(columns());
    toggled.setAlarmColumn([] { return QStringLiteral("x"); });
    toggled.setAlarmColumn({});
    for (RDModel *m : {&plain, &toggled}) {
        m->appendDataRow({{"Vcell1", 3300.0}, {"soc", 50}});
        QCOMPARE(m->columnCount(), 2);
    }
    const QByteArray expected = csv(plain, dir.filePath(QStringLiteral("a.csv")));
    QCOMPARE(expected, QByteArray("\xEF\xBB\xBF\"电芯1 (mV)\",\"SOC (%)\"\n\"3300\",\"50\"\n"));
    QCOMPARE(csv(toggled, dir.filePath(QStringLiteral("b.csv"))), expected);
}

void tst_AlarmColumn::rowsKeepTheAlarmsOfTheirMoment()
{
    RDModel model;
    QAbstractItemModelTester tester(&model);
    model.setColumns(columns());
    QString active;
    model.setAlarmColumn([&active] { return active; });
    QCOMPARE(model.columnCount(), 3);
    model.appendDataRow({{"Vcell1", 3300.0}});
    active = QStringLiteral("cell_overvoltage(1) soc_low");
    model.appendDataRow({{"Vcell1", 3700.0}});
    active.clear();
    model.appendDataRow({{"Vcell1", 3300.0}});
    QCOMPARE(model.data(model.index(0, 2)).toString(), QString());
    QCOMPARE(model.data(model.index(1, 2)).toString(),
             QStringLiteral("cell_overvoltage(1) soc_low"));
    QCOMPARE(model.data(model.index(2, 2)).toString(), QString());

    QTemporaryDir dir;
    const QList<QByteArray> lines = csv(model, dir.filePath(QStringLiteral("c.csv"))).split('\n');
    QCOMPARE(lines.at(0), QByteArray("\xEF\xBB\xBF\"电芯1 (mV)\",\"SOC (%)\",\"报警\""));
    QCOMPARE(lines.at(2), QByteArray("\"3700\",\"\",\"cell_overvoltage(1) soc_low\""));
    // Appending to a continuous export writes the same last field.
    const QString path = dir.filePath(QStringLiteral("d.csv"));
    QFile::remove(path);
    active = QStringLiteral("spread");
    model.appendDataRow({{"Vcell1", 3300.0}});
    QVERIFY(CsvWriter::appendRows(&model, CsvWriter::allColumns(&model), 3, 3, path).ok);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\"3300\",\"\",\"spread\"\n"));
}

void tst_AlarmColumn::headerFollowsTheLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("header");
    QTest::newRow("zh") << int(Chinese) << "报警";
    QTest::newRow("en") << int(English) << "Alarms";
    QTest::newRow("de") << int(German) << "Alarme";
}

void tst_AlarmColumn::headerFollowsTheLanguage()
{
    QFETCH(int, language);
    QFETCH(QString, header);
    RDModel model;
    model.setColumns(columns());
    model.setAlarmColumn([] { return QString(); });
    model.setTranslator([language](const QString &t) { return translateWithUnit(language, t); });
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), header);
    QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
}

void tst_AlarmColumn::comesAndGoesAtTheEnd()
{
    RDModel model;
    QAbstractItemModelTester tester(&model);
    model.setColumns(columns());
    model.appendDataRow({{"Vcell1", 3300.0}});
    QSignalSpy inserted(&model, &QAbstractItemModel::columnsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::columnsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setAlarmColumn([] { return QStringLiteral("a"); });
    model.setAlarmColumn([] { return QStringLiteral("b"); }); // already on: no second column
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 2);
    QCOMPARE(model.columnCount(), 3);
    // A row from before the column has no alarm cell; the source in force fills new rows.
    QVERIFY(!model.data(model.index(0, 2)).isValid());
    model.appendDataRow({{"Vcell1", 3300.0}});
    QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("b"));
    model.setAlarmColumn({});
    QCOMPARE(removed.size(), 1);
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(reset.isEmpty());
    // Without columns there is no table, and no alarm column either.
    model.setColumns({});
    model.setAlarmColumn([] { return QStringLiteral("c"); });
    QCOMPARE(model.columnCount(), 0);
}

QTEST_GUILESS_MAIN(tst_AlarmColumn)
#include "tst_alarmcolumn.moc"
