#include "datalog/csvwriter.h"
#include "datalog/rdmodel.h"
#include "datalog/viewexport.h"
#include "i18n/translations.h"

#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

TableColumn column(const QString &header, const QString &field, const QString &type = QString(),
                   const QString &dataField = QString())
{
    TableColumn c;
    c.header = header;
    c.field = field;
    c.type = type;
    c.dataField = dataField;
    return c;
}

TextTranslator translatorFor(int language)
{
    return [language](const QString &text) { return translateWithUnit(language, text); };
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// Table with a text, a number, a status and a possibly missing value.
void setUp(RDModel &model)
{
    model.setColumns({column(QStringLiteral("名称"), QStringLiteral("name")),
                      column(QStringLiteral("电压"), QStringLiteral("v")),
                      column(QStringLiteral("状态"), QStringLiteral("st"), QStringLiteral("status"),
                             QStringLiteral("WorkState")),
                      column(QStringLiteral("备注"), QStringLiteral("note"))});
}

QVariantHash row(const QVariant &name, const QVariant &v, int state, const QVariant &note = {})
{
    QVariantHash values{{QStringLiteral("name"), name},
                        {QStringLiteral("v"), v},
                        {QStringLiteral("WorkState"), state}};
    if (note.isValid())
        values.insert(QStringLiteral("note"), note);
    return values;
}

} // namespace

class TestCsvWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void exportIsByteExact();
    void fieldText_data();
    void fieldText();
    void exportMatchesDisplayTexts_data();
    void exportMatchesDisplayTexts();
    void emptyTableAndNoModel();
    void hiddenColumns();
    void appendAfterLanguageSwitch();
    void consoleExportWithAllColumns();
    void exportFailureReported_data();
    void exportFailureReported();
    void appendFailureReportedRowsKept();
    void partialAppendCutBack();

private:
    QTemporaryDir m_dir;
};

void TestCsvWriter::init()
{
    QVERIFY(m_dir.isValid());
}

void TestCsvWriter::exportIsByteExact()
{
    RDModel model;
    setUp(model);
    model.appendDataRow(row(QStringLiteral("ab\"c"), 3.245, 0xA005));
    model.appendDataRow(row(QStringLiteral("x,y\nz"), 0.1 + 0.2, 0x1234, 42));
    const QString path = m_dir.filePath(QStringLiteral("exact.csv"));

    const CsvWriteResult result =
            CsvWriter::exportToFile(&model, CsvWriter::allColumns(&model), path);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(readAll(path),
             kBom
                     + QByteArray(
                             "\"名称\",\"电压\",\"状态\",\"备注\"\n"
                             "\"ab\"\"c\",\"3.245\",\"均衡中\",\"\"\n"
                             "\"x,y\nz\",\"0.30000000000000004\",\"未知状态(0X1234)\",\"42\"\n"));

    // Export again in English: the file is replaced, not extended.
    model.setTranslator(translatorFor(English));
    QVERIFY(CsvWriter::exportToFile(&model, CsvWriter::allColumns(&model), path).ok);
    const QByteArray english = readAll(path);
    const QByteArray expected =
            kBom + "\"名称\",\"电压\",\"Status\",\"备注\"\n\"ab\"\"c\",\"3.245\",\"Balancing\"";
    QVERIFY(english.startsWith(expected));
    QCOMPARE(english.count(kBom), 1);
    QVERIFY(!english.contains('\r'));
}

void TestCsvWriter::fieldText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("integer") << QVariant(-17) << QByteArray("\"-17\"");
    QTest::newRow("long long") << QVariant(qlonglong(1) << 40) << QByteArray("\"1099511627776\"");
    QTest::newRow("whole real") << QVariant(3300.0) << QByteArray("\"3300\"");
    QTest::newRow("scaled real") << QVariant(3245 * 0.001) << QByteArray("\"3.245\"");
    QTest::newRow("difference") << QVariant(3.245 - 3.198) << QByteArray("\"0.04700000000000015\"");
    QTest::newRow("tiny real") << QVariant(1.5e-7) << QByteArray("\"1.5e-07\"");
    QTest::newRow("invalid") << QVariant() << QByteArray("\"\"");
    QTest::newRow("empty text") << QVariant(QString()) << QByteArray("\"\"");
    QTest::newRow("only quotes") << QVariant(QStringLiteral("\"\"")) << QByteArray("\"\"\"\"\"\"");
    QTest::newRow("chinese") << QVariant(QStringLiteral("充电")) << QByteArray("\"充电\"");
}

void TestCsvWriter::fieldText()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, field);
    RDModel model;
    model.setColumns({column(QStringLiteral("h"), QStringLiteral("k"))});
    QVariantHash values;
    if (value.isValid())
        values.insert(QStringLiteral("k"), value);
    model.appendDataRow(values);
    const QString path = m_dir.filePath(QStringLiteral("field.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, {0}, path).ok);
    QCOMPARE(readAll(path), kBom + "\"h\"\n" + field + "\n");
    QFile::remove(path);
    QVERIFY(CsvWriter::appendRows(&model, {0}, 0, 0, path).ok);
    QCOMPARE(readAll(path), field + "\n");
}

void TestCsvWriter::exportMatchesDisplayTexts_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("untranslated") << -1;
    QTest::newRow("english") << int(English);
}

// The export writes most cells without the display role; every line must still be what the
// display role gives (rowLine), for readings of every kind the processing produces and more.
void TestCsvWriter::exportMatchesDisplayTexts()
{
    QFETCH(int, language);
    RDModel model;
    setUp(model);
    if (language >= 0)
        model.setTranslator(translatorFor(language));
    QList<QVariant> values{0.0,
                           -0.0,
                           1e5,
                           1e-4,
                           1e-5,
                           0.00012,
                           1234567.0,
                           1.2e7,
                           -3300.0,
                           2147483647.0,
                           1e15,
                           1e16,
                           qInf(),
                           qQNaN(),
                           1.0 / 3,
                           -17,
                           qlonglong(1) << 40,
                           uint(7),
                           true,
                           QStringLiteral("a\"b\"\"c"),
                           QStringLiteral("充电"),
                           QString(QLatin1Char('x')).repeated(300)};
    QRandomGenerator rng(5);
    for (int i = 0; i < 3000; ++i) {
        const int raw = int(rng.bounded(200000u)) - 100000;
        values << raw * 0.1 - 40 << raw * 0.01 << raw * 0.001 << raw / 4.0
               << double(raw) / std::pow(10.0, int(rng.bounded(9u))) << raw * 10.0
               << std::nextafter(raw * 0.1, 1e300);
        // Full-width mantissas at every scale, and readings that repeat a few rows apart.
        const auto wide = qint32(rng.generate());
        values << double(wide) / std::pow(10.0, i % 8) << (i % 40) * 0.1 - 273.1;
    }
    values << -2147483648.0 / 1e7 << 2147483647.0 / 1e7 << 1 / 1e7 << -5 / 1e6 << 120 / 1e7;
    const int states[] = {0xF000, 0xF001, 0xA005, 0x1234};
    for (qsizetype i = 0; i < values.size(); ++i)
        model.appendDataRow(row(values.at(i), values.at(values.size() - 1 - i), states[i % 4],
                                i % 3 ? values.at(i / 2) : QVariant()));

    const QString path = m_dir.filePath(QStringLiteral("sweep.csv"));
    const QList<int> columns = CsvWriter::allColumns(&model);
    QVERIFY(CsvWriter::exportToFile(&model, columns, path).ok);
    QByteArray expected = kBom + CsvWriter::headerLine(&model, columns);
    for (int r = 0; r < model.rowCount(); ++r)
        expected += CsvWriter::rowLine(&model, columns, r);
    const QByteArray written = readAll(path);
    if (written != expected) {
        const QList<QByteArray> a = written.split('\n'), b = expected.split('\n');
        for (qsizetype i = 0; i < qMin(a.size(), b.size()); ++i)
            QCOMPARE(a.at(i), b.at(i));
    }
    QCOMPARE(written.size(), expected.size());

    QFile::remove(path);
    QVERIFY(CsvWriter::appendRows(&model, {3, 1}, 10, 20, path).ok);
    QByteArray appended;
    for (int r = 10; r <= 20; ++r)
        appended += CsvWriter::rowLine(&model, {3, 1}, r);
    QCOMPARE(readAll(path), appended);
}

void TestCsvWriter::emptyTableAndNoModel()
{
    RDModel model;
    setUp(model);
    const QString path = m_dir.filePath(QStringLiteral("empty.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, {0, 2}, path).ok);
    QCOMPARE(readAll(path), kBom + "\"名称\",\"状态\"\n");

    QTableView view;
    QVERIFY(viewExportToCSV(&view, path).ok);
    QCOMPARE(readAll(path), kBom);

    const CsvWriteResult none = viewExportToCSV(nullptr, path);
    QVERIFY(!none.ok);
    QVERIFY(!none.error.isEmpty());
    QCOMPARE(readAll(path), kBom);
}

void TestCsvWriter::hiddenColumns()
{
    RDModel model;
    setUp(model);
    QTableView view;
    view.setModel(&model);
    view.setColumnHidden(1, true);
    model.appendDataRow(row(QStringLiteral("a"), 1.5, 0xF000));
    const QString path = m_dir.filePath(QStringLiteral("hidden.csv"));
    QVERIFY(viewExportToCSV(&view, path).ok);
    QCOMPARE(readAll(path), kBom + "\"名称\",\"状态\",\"备注\"\n\"a\",\"待机\",\"\"\n");

    // Visibility is read at each append.
    view.setColumnHidden(3, true);
    view.setColumnHidden(1, false);
    model.appendDataRow(row(QStringLiteral("b"), 2.5, 0xF000, QStringLiteral("n")));
    QVERIFY(viewAppendRowsToCSV(&view, path, 1, 1).ok);
    QCOMPARE(readAll(path),
             kBom + "\"名称\",\"状态\",\"备注\"\n\"a\",\"待机\",\"\"\n\"b\",\"2.5\",\"待机\"\n");

    // A view that is gone writes nothing.
    QVERIFY(viewAppendRowsToCSV(nullptr, path, 0, 1).ok);
    QCOMPARE(readAll(path).count('\n'), 3);
}

void TestCsvWriter::appendAfterLanguageSwitch()
{
    RDModel model;
    setUp(model);
    model.setTranslator(translatorFor(English));
    const QString path = m_dir.filePath(QStringLiteral("live.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, CsvWriter::allColumns(&model), path).ok);

    // Arm the file as the main window does: every insertion notice appends its rows.
    QList<CsvWriteResult> results;
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex &, int first, int last) {
                results.append(CsvWriter::appendRows(&model, CsvWriter::allColumns(&model), first,
                                                     last, path));
            });
    model.appendDataRow(row(QStringLiteral("充电"), 1, 0xA006));
    model.setTranslator(translatorFor(German));
    model.appendDataRow(row(QStringLiteral("充电"), 2, 0xA006));
    model.setTranslator(translatorFor(Chinese));
    model.appendDataRow(row(QStringLiteral("充电"), 3, 0xA006));

    QCOMPARE(results.size(), 3);
    for (const CsvWriteResult &r : std::as_const(results))
        QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(readAll(path),
             kBom
                     + QByteArray("\"名称\",\"电压\",\"Status\",\"备注\"\n"
                                  "\"Charging\",\"1\",\"Heating\",\"\"\n"
                                  "\"Laden\",\"2\",\"Heizen\",\"\"\n"
                                  "\"充电\",\"3\",\"加热中\",\"\"\n"));
}

void TestCsvWriter::consoleExportWithAllColumns()
{
    // What a console tool does: model, every column, a fixed language.
    RDModel model;
    model.setColumns(
            {column(QStringLiteral("日期"), QStringLiteral("_date"), QStringLiteral("system")),
             column(QStringLiteral("时间"), QStringLiteral("_time"), QStringLiteral("system")),
             column(QStringLiteral("总电压"), QStringLiteral("data_totalv"))});
    model.setClock([] { return QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 678)); });
    model.setTranslator(translatorFor(German));
    model.appendDataRow({{QStringLiteral("data_totalv"), 52.8}});
    const QString path = m_dir.filePath(QStringLiteral("console.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, CsvWriter::allColumns(&model), path).ok);
    QCOMPARE(readAll(path),
             kBom
                     + "\"Datum\",\"Zeit\",\"Gesamtspannung\"\n\"2026-01-02\",\"03:04:05.67\",\"52."
                       "8\"\n");
}

void TestCsvWriter::exportFailureReported_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("directory") << m_dir.path();
    QTest::newRow("missing directory") << m_dir.filePath(QStringLiteral("no/such/dir/x.csv"));
#ifdef Q_OS_LINUX
    QTest::newRow("full disk") << QStringLiteral("/dev/full");
#endif
}

void TestCsvWriter::exportFailureReported()
{
    QFETCH(QString, path);
    RDModel model;
    setUp(model);
    model.appendDataRow(row(QStringLiteral("a"), 1, 0));
    const CsvWriteResult result = CsvWriter::exportToFile(&model, {0, 1}, path);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QVERIFY2(!result.error.contains(QStringLiteral("Unknown error")), qPrintable(result.error));
}

void TestCsvWriter::appendFailureReportedRowsKept()
{
    RDModel model;
    setUp(model);
    model.appendDataRow(row(QStringLiteral("kept"), 1, 0));
    const CsvWriteResult toDir = CsvWriter::appendRows(&model, {0}, 0, 0, m_dir.path());
    QVERIFY(!toDir.ok);
    QVERIFY(!toDir.error.isEmpty());

    // A read-only file (permissions do not stop root, so only when they apply).
    const QString readOnly = m_dir.filePath(QStringLiteral("ro.csv"));
    {
        QFile f(readOnly);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x\n");
    }
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadUser);
    QFile probe(readOnly);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const CsvWriteResult ro = CsvWriter::appendRows(&model, {0}, 0, 0, readOnly);
        QVERIFY(!ro.ok);
        QCOMPARE(ro.error, probe.errorString());
        QCOMPARE(readAll(readOnly), QByteArray("x\n"));
    }
    probe.close();

#ifdef Q_OS_LINUX
    const CsvWriteResult full =
            CsvWriter::appendRows(&model, {0}, 0, 0, QStringLiteral("/dev/full"));
    QVERIFY(!full.ok);
    QVERIFY2(!full.error.isEmpty() && !full.error.contains(QStringLiteral("Unknown error")),
             qPrintable(full.error));
#endif

    // The row stays in the table and reaches the next good file.
    QCOMPARE(model.rowCount(), 1);
    const QString good = m_dir.filePath(QStringLiteral("good.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, {0}, good).ok);
    QCOMPARE(readAll(good), kBom + "\"名称\"\n\"kept\"\n");
}

void TestCsvWriter::partialAppendCutBack()
{
#ifdef Q_OS_LINUX
    // A file-size limit makes the write stop part way, as a full disk does.
    RDModel model;
    setUp(model);
    model.appendDataRow(row(QString(300, u'a'), 1, 0));
    model.appendDataRow(row(QStringLiteral("b"), 2, 0));
    const QString path = m_dir.filePath(QStringLiteral("partial.csv"));
    QVERIFY(CsvWriter::exportToFile(&model, {0}, path).ok);
    const QByteArray before = readAll(path);

    rlimit old{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit limited = old;
    limited.rlim_cur = rlim_t(before.size() + 100);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const CsvWriteResult result = CsvWriter::appendRows(&model, {0}, 0, 1, path);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    QVERIFY(!result.ok);
    QVERIFY2(!result.error.isEmpty() && !result.error.contains(QStringLiteral("Unknown error")),
             qPrintable(result.error));
    QCOMPARE(readAll(path), before);

    // The next append starts on a clean line.
    QVERIFY(CsvWriter::appendRows(&model, {0}, 1, 1, path).ok);
    QCOMPARE(readAll(path), before + "\"b\"\n");
#else
    QSKIP("needs a file-size limit");
#endif
}

QTEST_MAIN(TestCsvWriter)
#include "tst_csvwriter.moc"
