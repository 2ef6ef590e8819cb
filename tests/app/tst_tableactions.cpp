// The data tab's actions on a real window fed with real response frames.

#include "../serial/testpty.h"
#include "../testsupport/boxcloser.h"
#include "../testsupport/windowfixture.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString cs16()
{
    return sampleProtocolDir() + QStringLiteral("/cs-16s.json");
}

QByteArrayList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArrayList lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestTableActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pauseLeavesNoRowsButUpdatesFields();
    void exportThenContinuousAppend();
    void cancelledDialogWritesNothing();
    void clearResetsCount();
    void autoScrollFollowsNewRows();
    void autoWidthFollowsContents();
    void failedExportIsShown();
    void failedAppendReportedOncePerOutage();
    void failingLogOutlastsLinkErrors();

private:
    void feed(int frames);
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    int m_seed = 0;
};

void TestTableActions::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
    MainWindow::Options options;
    options.protocolDirectory = sampleProtocolDir();
    options.virtualPorts = {QStringLiteral("/tmp/cs-no-port")};
    m_window = std::make_unique<MainWindow>(options);
    m_window->resize(1280, 800);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTableActions::feed(int frames)
{
    for (int i = 0; i < frames; ++i)
        m_window->handleDataReceivedWithConfig(
                responseFrame(cs16(), QStringLiteral("pack_status"), ++m_seed));
}

void TestTableActions::pauseLeavesNoRowsButUpdatesFields()
{
    Ui::MainWindow *ui = m_window->form();
    feed(3);
    QCOMPARE(m_window->tableModel()->rowCount(), 3);
    QCOMPARE(ui->run->text(), QStringLiteral("停止"));

    ui->run->click();
    QCOMPARE(ui->run->text(), QStringLiteral("开始"));
    auto fieldTexts = [this] {
        QStringList texts;
        for (QLineEdit *field : m_window->findChildren<QLineEdit *>())
            texts << field->text();
        return texts;
    };
    const QStringList fieldsBefore = fieldTexts();
    feed(10);
    QCOMPARE(m_window->tableModel()->rowCount(), 3);
    QCOMPARE(ui->totalsave->text(), QStringLiteral("3"));
    QVERIFY(fieldTexts() != fieldsBefore);
    QCOMPARE(m_window->receivedCount(), 13);

    ui->run->click();
    QCOMPARE(ui->run->text(), QStringLiteral("停止"));
    feed(1);
    QCOMPARE(m_window->tableModel()->rowCount(), 4);
    QCOMPARE(ui->totalsave->text(), QStringLiteral("4"));
}

void TestTableActions::exportThenContinuousAppend()
{
    Ui::MainWindow *ui = m_window->form();
    feed(2);
    const QString first = m_dir.filePath(QStringLiteral("first.csv"));

    // Checked only after the export: that file is not armed.
    answerFileDialog(first);
    ui->btn_export->click();
    ui->realtime_export->setChecked(true);
    feed(1);
    QCOMPARE(fileLines(first).size(), 3);

    const QString log = m_dir.filePath(QStringLiteral("log.csv"));
    answerFileDialog(log);
    ui->btn_export->click();
    QByteArrayList lines = fileLines(log);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.first().startsWith("\xEF\xBB\xBF\""));

    // The same file again: still one line per row.
    m_window->viewExportToCSV(ui->tableView, log);
    QCOMPARE(m_window->armedExportFiles(), QStringList{log});

    // Unchecking keeps the armed file.
    ui->realtime_export->setChecked(false);
    feed(5);
    lines = fileLines(log);
    QCOMPARE(lines.size(), 1 + 3 + 5);
    QCOMPARE(fileLines(first).size(), 3);
    for (const QByteArray &line : lines.mid(1))
        QVERIFY2(!line.contains('\xEF') && line.startsWith('"'), line.constData());
    const QByteArray header = lines.first().mid(3);
    QCOMPARE(header.count(','), m_window->tableModel()->columnCount() - 1);
}

void TestTableActions::cancelledDialogWritesNothing()
{
    m_window->form()->realtime_export->setChecked(true);
    feed(1);
    const QStringList before = QDir(m_dir.path()).entryList();
    answerFileDialog(QString());
    m_window->form()->btn_export->click();
    QVERIFY(m_window->armedExportFiles().isEmpty());
    QCOMPARE(QDir(m_dir.path()).entryList(), before);
}

void TestTableActions::clearResetsCount()
{
    Ui::MainWindow *ui = m_window->form();
    feed(4);
    ui->btn_clear->click();
    QCOMPARE(m_window->tableModel()->rowCount(), 0);
    QCOMPARE(ui->totalsave->text(), QStringLiteral("0"));
    QCOMPARE(m_window->receivedCount(), 4);
    feed(1);
    QCOMPARE(ui->totalsave->text(), QStringLiteral("1"));
}

void TestTableActions::autoScrollFollowsNewRows()
{
    Ui::MainWindow *ui = m_window->form();
    ui->tabWidget->setCurrentWidget(ui->tab_data);
    QTableView *view = ui->tableView;
    auto lastRowShown = [view] {
        const int bottom = view->rowAt(view->viewport()->height() - 2);
        return bottom == -1 || bottom == view->model()->rowCount() - 1;
    };
    ui->autoruncheck->setChecked(true);
    feed(80);
    QVERIFY(view->rowAt(0) > 0);
    QVERIFY(lastRowShown());

    ui->autoruncheck->setChecked(false);
    view->scrollToTop();
    feed(5);
    QCOMPARE(view->rowAt(0), 0);
}

void TestTableActions::autoWidthFollowsContents()
{
    Ui::MainWindow *ui = m_window->form();
    QHeaderView *header = ui->tableView->horizontalHeader();
    ui->lineresize->setChecked(true);
    QCOMPARE(header->sectionResizeMode(0), QHeaderView::ResizeToContents);
    ui->lineresize->setChecked(false);
    QCOMPARE(header->sectionResizeMode(header->count() - 1), QHeaderView::Interactive);
}

void TestTableActions::failedExportIsShown()
{
    BoxCloser closer;
    m_window->form()->realtime_export->setChecked(true);
    feed(1);
    const QString path = m_dir.filePath(QStringLiteral("missing-dir/out.csv"));
    m_window->viewExportToCSV(m_window->form()->tableView, path);
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts.first().contains(QDir::toNativeSeparators(path)),
             qPrintable(closer.texts.first()));
    QVERIFY(closer.texts.first().count(u'\n') == 1);
    // A file without its header collects no rows.
    QVERIFY(m_window->armedExportFiles().isEmpty());
}

void TestTableActions::failedAppendReportedOncePerOutage()
{
    Ui::MainWindow *ui = m_window->form();
    ui->realtime_export->setChecked(true);
    feed(1);
    const QString log = m_dir.filePath(QStringLiteral("armed.csv"));
    m_window->viewExportToCSV(ui->tableView, log);
    QCOMPARE(fileLines(log).size(), 2);

    // A directory in the file's place cannot be opened, not even by root.
    QVERIFY(QFile::remove(log));
    QVERIFY(QDir().mkdir(log));
    feed(1);
    QVERIFY2(ui->err_info->text().contains(QDir::toNativeSeparators(log)),
             qPrintable(ui->err_info->text()));
    ui->err_info->clear();
    feed(2);
    QVERIFY(ui->err_info->text().isEmpty());

    // Writable again: rows go on, and the next outage is reported again.
    QVERIFY(QDir().rmdir(log));
    feed(1);
    QCOMPARE(fileLines(log).size(), 1);
    QCOMPARE(m_window->tableModel()->rowCount(), 5);
    QVERIFY(ui->err_info->text().isEmpty());

    // Nothing was lost from the table: a new export holds every row.
    const QString again = m_dir.filePath(QStringLiteral("again.csv"));
    m_window->viewExportToCSV(ui->tableView, again);
    QCOMPARE(fileLines(again).size(), 1 + 5);
}

void TestTableActions::failingLogOutlastsLinkErrors()
{
    TestPty pty;
    QVERIFY(pty.isValid());
    pty.closeSlave();
    m_window.reset();
    MainWindow::Options options;
    options.protocolDirectory = sampleProtocolDir();
    options.virtualPorts = {pty.slaveName()};
    m_window = std::make_unique<MainWindow>(options);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    Ui::MainWindow *ui = m_window->form();
    ui->portName->setCurrentIndex(ui->portName->findData(pty.slaveName()));
    ui->proid->setCurrentText(QStringLiteral("200 ms"));

    ui->realtime_export->setChecked(true);
    feed(1);
    const QString log = m_dir.filePath(QStringLiteral("held.csv"));
    m_window->viewExportToCSV(ui->tableView, log);
    QVERIFY(QFile::remove(log));
    QVERIFY(QDir().mkdir(log)); // held open by another program, as far as writing goes
    feed(1);
    const QString shownPath = QDir::toNativeSeparators(log);
    QVERIFY2(ui->err_info->text().contains(shownPath), qPrintable(ui->err_info->text()));

    // The BMS stays silent: the timeout takes the line.
    ui->openCom->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(ui->err_info->text().contains(QStringLiteral("通讯超时")), 5000);

    // It answers again: once the timeout text clears, the failing log is what the line shows.
    int answered = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        const QByteArray requests = pty.readAvailable();
        for (qsizetype i = 0; i < requests.count('~'); ++i)
            pty.write(responseFrame(cs16(), QStringLiteral("pack_status"), ++answered).toLatin1());
    });
    answer.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(answered >= 3, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(ui->err_info->text().contains(shownPath),
                              qPrintable(ui->err_info->text()), 5000);
    QVERIFY(!ui->err_info->text().contains(QStringLiteral("通讯超时")));

    // The file takes rows again: the report goes.
    QVERIFY(QDir().rmdir(log));
    QTRY_VERIFY_WITH_TIMEOUT(fileLines(log).size() >= 1, 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(ui->err_info->text().isEmpty(), qPrintable(ui->err_info->text()),
                              5000);
    answer.stop();
    ui->openCom->setChecked(false);
}

QTEST_MAIN(TestTableActions)
#include "tst_tableactions.moc"
