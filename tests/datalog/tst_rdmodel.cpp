#include "datalog/rdmodel.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

TableColumn column(const QString &header, const QString &field, const QString &type = QString(),
                   const QString &dataField = QString(), const QString &format = QString())
{
    TableColumn c;
    c.header = header;
    c.field = field;
    c.type = type;
    c.dataField = dataField;
    c.format = format;
    return c;
}

TextTranslator translatorFor(int language)
{
    return [language](const QString &text) { return translateWithUnit(language, text); };
}

QDateTime at(int h, int m, int s, int ms)
{
    return QDateTime(QDate(2026, 3, 7), QTime(h, m, s, ms));
}

} // namespace

class TestRDModel : public QObject
{
    Q_OBJECT

private slots:
    void statusText_data();
    void statusText();
    void systemColumns_data();
    void systemColumns();
    void systemColumnsUseWallClock();
    void dataCells();
    void translationAndRoles();
    void translatorChangeAnnounced();
    void appendAnnouncesOneRow();
    void appendWithoutColumns();
    void rowsAfterColumnChange();
    void clearData();
    void columnsFromProtocolFile();
    void passesModelTester();
};

void TestRDModel::statusText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("balancing real") << QVariant(double(0xA005)) << "均衡中"
                                    << "Balancing"
                                    << "Ausgleich aktiv";
    QTest::newRow("balancing int") << QVariant(0xA005) << "均衡中"
                                   << "Balancing"
                                   << "Ausgleich aktiv";
    QTest::newRow("decimal text") << QVariant(QStringLiteral("40965")) << "均衡中"
                                  << "Balancing"
                                  << "Ausgleich aktiv";
    QTest::newRow("heating") << QVariant(0xA006) << "加热中"
                             << "Heating"
                             << "Heizen";
    QTest::newRow("standby") << QVariant(0xF000) << "待机"
                             << "Standby"
                             << "Standby";
    QTest::newRow("unknown 0x1234") << QVariant(0x1234) << "未知状态(0X1234)"
                                    << "未知状态(0X1234)"
                                    << "未知状态(0X1234)";
    QTest::newRow("unknown 0x1a padded") << QVariant(0x1a) << "未知状态(0X001A)"
                                         << "未知状态(0X001A)"
                                         << "未知状态(0X001A)";
    QTest::newRow("unknown 5 digits") << QVariant(0x1ABCD) << "未知状态(0X1ABCD)"
                                      << "未知状态(0X1ABCD)"
                                      << "未知状态(0X1ABCD)";
    QTest::newRow("hex text is not a number") << QVariant(QStringLiteral("A005")) << "待机"
                                              << "Standby"
                                              << "Standby";
    QTest::newRow("missing") << QVariant() << "待机"
                             << "Standby"
                             << "Standby";
}

void TestRDModel::statusText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    QFETCH(QString, german);

    RDModel model;
    model.setColumns({column(QStringLiteral("状态"), QStringLiteral("st"), QStringLiteral("status"),
                             QStringLiteral("WorkState"))});
    QVariantHash values;
    if (value.isValid())
        values.insert(QStringLiteral("WorkState"), value);
    model.appendDataRow(values);

    QCOMPARE(model.storedCell(0, 0), QVariant(chinese));
    const QModelIndex cell = model.index(0, 0);
    QCOMPARE(model.data(cell).toString(), chinese);
    model.setTranslator(translatorFor(English));
    QCOMPARE(model.data(cell).toString(), english);
    model.setTranslator(translatorFor(German));
    QCOMPARE(model.data(cell).toString(), german);
}

void TestRDModel::systemColumns_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date default") << "_date"
                                  << "" << at(14, 3, 27, 52) << "2026-03-07";
    QTest::newRow("date format") << "_date"
                                 << "dd.MM.yyyy" << at(14, 3, 27, 52) << "07.03.2026";
    QTest::newRow("date format with time")
            << "_date"
            << "yyyy/MM/dd HH:mm" << at(9, 5, 0, 0) << "2026/03/07 09:05";
    QTest::newRow("time truncates") << "_time"
                                    << "" << at(14, 3, 27, 52) << "14:03:27.05";
    QTest::newRow("time 009") << "_time"
                              << "" << at(12, 0, 0, 9) << "12:00:00.00";
    QTest::newRow("time 999") << "_time"
                              << "" << at(12, 0, 0, 999) << "12:00:00.99";
    QTest::newRow("time ignores format") << "_time"
                                         << "dd.MM.yyyy" << at(23, 59, 59, 100) << "23:59:59.10";
    QTest::newRow("other field") << "_clock"
                                 << "" << at(1, 2, 3, 4) << "";
}

void TestRDModel::systemColumns()
{
    QFETCH(QString, field);
    QFETCH(QString, format);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);

    RDModel model;
    model.setClock([now] { return now; });
    model.setColumns(
            {column(QStringLiteral("日期"), field, QStringLiteral("system"), QString(), format)});
    model.appendDataRow({{field, QVariant(99)}});
    const QVariant cell = model.data(model.index(0, 0));
    QCOMPARE(cell.typeId(), QMetaType::QString);
    QCOMPARE(cell.toString(), expected);
}

void TestRDModel::systemColumnsUseWallClock()
{
    RDModel model;
    model.setColumns({column(QString(), QStringLiteral("_date"), QStringLiteral("system")),
                      column(QString(), QStringLiteral("_time"), QStringLiteral("system"))});
    const QDate before = QDate::currentDate();
    model.appendDataRow({});
    const QDate after = QDate::currentDate();
    const QString date = model.data(model.index(0, 0)).toString();
    QVERIFY2(date == before.toString(Qt::ISODate) || date == after.toString(Qt::ISODate),
             qPrintable(date));
    const QString time = model.data(model.index(0, 1)).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d$"))
                     .match(time)
                     .hasMatch(),
             qPrintable(time));
}

void TestRDModel::dataCells()
{
    RDModel model;
    model.setColumns({
            column(QStringLiteral("V1"), QStringLiteral("Vcell1")),
            column(QStringLiteral("V2"), QStringLiteral("ignored"), QStringLiteral("data"),
                   QStringLiteral("Vcell2")),
            column(QStringLiteral("N"), QStringLiteral("data_number"), QStringLiteral("System")),
            column(QStringLiteral("S"), QStringLiteral("current_status")),
            column(QStringLiteral("M"), QStringLiteral("missing")),
    });
    model.appendDataRow({{QStringLiteral("Vcell1"), QVariant(3300.0)},
                         {QStringLiteral("Vcell2"), QVariant(3245 * 0.001)},
                         {QStringLiteral("ignored"), QVariant(1)},
                         {QStringLiteral("data_number"), QVariant(16)},
                         {QStringLiteral("current_status"), QVariant(QStringLiteral("充电"))}});

    const QVariant v1 = model.data(model.index(0, 0));
    QCOMPARE(v1.typeId(), QMetaType::Double);
    QCOMPARE(v1.toDouble(), 3300.0);
    const QVariant v2 = model.data(model.index(0, 1));
    QCOMPARE(v2.typeId(), QMetaType::Double);
    QCOMPARE(v2.toDouble(), 3245 * 0.001);
    // Type matching is case-sensitive: "System" is an ordinary data column.
    const QVariant n = model.data(model.index(0, 2));
    QCOMPARE(n.typeId(), QMetaType::Int);
    QCOMPARE(n.toInt(), 16);
    QCOMPARE(model.data(model.index(0, 3)), QVariant(QStringLiteral("充电")));
    QVERIFY(!model.data(model.index(0, 4)).isValid());
}

void TestRDModel::translationAndRoles()
{
    RDModel model;
    model.setColumns({column(QStringLiteral("电池组电压 (V)"), QStringLiteral("v")),
                      column(QStringLiteral("工作状态"), QStringLiteral("s"))});
    model.appendDataRow({{QStringLiteral("v"), QVariant(52.1)},
                         {QStringLiteral("s"), QVariant(QStringLiteral("充电"))}});

    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("电池组电压 (V)"));
    model.setTranslator(translatorFor(English));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Battery Pack Voltage(V)"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Operating State"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("Charging"));
    QCOMPARE(model.data(model.index(0, 0)), QVariant(52.1));
    QCOMPARE(model.storedCell(0, 1), QVariant(QStringLiteral("充电")));

    QCOMPARE(model.headerData(0, Qt::Vertical), QVariant(1));
    QCOMPARE(model.headerData(41, Qt::Vertical), QVariant(42));
    QVERIFY(!model.headerData(2, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(-1, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    QCOMPARE(model.data(model.index(0, 1), Qt::TextAlignmentRole), QVariant(int(Qt::AlignCenter)));
    QVERIFY(!model.data(model.index(0, 1), Qt::ToolTipRole).isValid());
    QVERIFY(!model.data(model.index(0, 1), Qt::EditRole).isValid());
    QVERIFY(!model.data(model.index(0, 2)).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
}

void TestRDModel::translatorChangeAnnounced()
{
    RDModel model;
    model.setColumns({column(QStringLiteral("a"), QStringLiteral("a")),
                      column(QStringLiteral("b"), QStringLiteral("b")),
                      column(QStringLiteral("c"), QStringLiteral("c"))});
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy cells(&model, &QAbstractItemModel::dataChanged);

    model.setTranslator(translatorFor(German));
    QCOMPARE(headers.size(), 1);
    QCOMPARE(headers.at(0).at(0).value<Qt::Orientation>(), Qt::Horizontal);
    QCOMPARE(headers.at(0).at(1).toInt(), 0);
    QCOMPARE(headers.at(0).at(2).toInt(), 2);
    QCOMPARE(cells.size(), 0); // no rows yet

    model.appendDataRow({});
    model.appendDataRow({});
    model.setTranslator(translatorFor(English));
    QCOMPARE(cells.size(), 1);
    QCOMPARE(cells.at(0).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(cells.at(0).at(1).toModelIndex(), model.index(1, 2));
}

void TestRDModel::appendAnnouncesOneRow()
{
    RDModel model;
    model.setColumns({column(QStringLiteral("a"), QStringLiteral("a"))});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy updated(&model, &RDModel::dataUpdated);
    // The row must be readable inside the insertion notice: the append writer runs there.
    QVariant seen;
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex &, int first, int) { seen = model.data(model.index(first, 0)); });
    for (int i = 0; i < 3; ++i)
        model.appendDataRow({{QStringLiteral("a"), QVariant(i)}});
    QCOMPARE(inserted.size(), 3);
    QCOMPARE(inserted.at(2).at(1).toInt(), 2);
    QCOMPARE(inserted.at(2).at(2).toInt(), 2);
    QCOMPARE(updated.size(), 3);
    QCOMPARE(seen, QVariant(2));
    QCOMPARE(model.rowCount(), 3);
}

void TestRDModel::appendWithoutColumns()
{
    RDModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy updated(&model, &RDModel::dataUpdated);
    QTest::ignoreMessage(QtWarningMsg, "Cannot add row without table configuration");
    model.appendDataRow({{QStringLiteral("a"), QVariant(1)}});
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(inserted.size(), 0);
    QCOMPARE(updated.size(), 0);
    QVERIFY(!model.data(model.index(0, 0)).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
}

void TestRDModel::rowsAfterColumnChange()
{
    RDModel model;
    model.setColumns({column(QStringLiteral("a"), QStringLiteral("a")),
                      column(QStringLiteral("b"), QStringLiteral("b")),
                      column(QStringLiteral("c"), QStringLiteral("c"))});
    model.appendDataRow(
            {{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}, {QStringLiteral("c"), 3}});

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.setColumns({column(QStringLiteral("x"), QStringLiteral("x")),
                      column(QStringLiteral("y"), QStringLiteral("y"))});
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("y"));
    QCOMPARE(model.data(model.index(0, 0)), QVariant(1));
    QCOMPARE(model.data(model.index(0, 1)), QVariant(2));
    model.appendDataRow({{QStringLiteral("x"), 7}});
    QCOMPARE(model.storedCellCount(1), 2);

    // Wider again: old rows have no cell there.
    model.setColumns({column(QStringLiteral("p"), QStringLiteral("p")),
                      column(QStringLiteral("q"), QStringLiteral("q")),
                      column(QStringLiteral("r"), QStringLiteral("r")),
                      column(QStringLiteral("s"), QStringLiteral("s"))});
    QCOMPARE(model.data(model.index(0, 2)), QVariant(3));
    QVERIFY(!model.data(model.index(0, 3)).isValid());
    QCOMPARE(model.data(model.index(1, 0)), QVariant(7));
    QVERIFY(!model.data(model.index(1, 1)).isValid());
    QVERIFY(!model.data(model.index(1, 2)).isValid());

    model.setProtocolConfig(nullptr);
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(!model.data(model.index(0, 0)).isValid());
}

void TestRDModel::clearData()
{
    RDModel model;
    model.setColumns({column(QStringLiteral("a"), QStringLiteral("a"))});
    for (int i = 0; i < 10; ++i)
        model.appendDataRow({{QStringLiteral("a"), QStringLiteral("t%1").arg(i)}});
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy updated(&model, &RDModel::dataUpdated);
    model.clearData();
    QCOMPARE(reset.size(), 1);
    QCOMPARE(updated.size(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 1);
    model.appendDataRow({{QStringLiteral("a"), QStringLiteral("again")}});
    QCOMPARE(model.data(model.index(0, 0)), QVariant(QStringLiteral("again")));
    QCOMPARE(model.headerData(0, Qt::Vertical), QVariant(1));
}

void TestRDModel::columnsFromProtocolFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("p.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"protocol": {"name": "T", "version": "1.0",
        "commands": [{"name": "read", "code": "42",
            "response": {"dataSegments": [{"name": "V1", "length": 4, "scale": 1}]}}],
        "tableMapping": {"columns": [
            {"header": "日期", "field": "_date", "type": "system", "format": "dd.MM.yyyy"},
            {"header": "状态", "field": "st", "type": "status", "dataField": "WorkState"},
            {"header": "电压1", "field": "V1", "type": "voltage", "width": 60}]}}})");
    file.close();

    ProtocolConfig config;
    QVERIFY2(config.loadConfig(path), qPrintable(config.lastError()));
    RDModel model;
    model.setClock([] { return at(8, 0, 0, 0); });
    model.setProtocolConfig(&config);
    QCOMPARE(model.columnCount(), 3);
    model.setTranslator(translatorFor(English));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
    model.appendDataRow({{QStringLiteral("V1"), QVariant(3300.0)},
                         {QStringLiteral("WorkState"), QVariant(double(0xF001))}});
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("07.03.2026"));
    QCOMPARE(model.storedCell(0, 1).toString(), QStringLiteral("正在充电"));
    QCOMPARE(model.data(model.index(0, 2)), QVariant(3300.0));
}

void TestRDModel::passesModelTester()
{
    RDModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setColumns(
            {column(QStringLiteral("日期"), QStringLiteral("_date"), QStringLiteral("system")),
             column(QStringLiteral("a"), QStringLiteral("a"))});
    for (int i = 0; i < 5; ++i)
        model.appendDataRow({{QStringLiteral("a"), i * 0.5}});
    model.setTranslator(translatorFor(English));
    model.setColumns({column(QStringLiteral("a"), QStringLiteral("a"))});
    model.appendDataRow({});
    model.clearData();
    model.setProtocolConfig(nullptr);
}

QTEST_GUILESS_MAIN(TestRDModel)
#include "tst_rdmodel.moc"
