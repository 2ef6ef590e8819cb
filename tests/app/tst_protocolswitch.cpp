// Switching between the sample protocols in the main window.

#include "../serial/testpty.h"
#include "../testsupport/boxcloser.h"
#include "../testsupport/windowfixture.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "responseencoder.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QFile>
#include <QHeaderView>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestProtocolSwitch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void switchWhileIdle();
    void currentAgainDoesNothing();
    void refusedWhileRunning();
    void brokenFileKeepsProtocol();
    void longFramesOfALargeProtocol();
    void columnsTakeTheProtocolsWidths();

private:
    void selectProtocol(const QString &name);
    QTemporaryDir m_dir;
    std::unique_ptr<TestPty> m_pty;
    std::unique_ptr<MainWindow> m_window;
};

void TestProtocolSwitch::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
    // A copy: one case breaks a file after the scan.
    const QString protocols = m_dir.filePath(QStringLiteral("protocols"));
    QDir().mkpath(protocols);
    QFile::remove(protocols + QStringLiteral("/cs-48x.json"));
    for (const QString &name : {QStringLiteral("cs-16s.json"), QStringLiteral("cs-8s.json")}) {
        QFile::remove(protocols + u'/' + name);
        QVERIFY(QFile::copy(sampleProtocolDir() + u'/' + name, protocols + u'/' + name));
    }
    // A pack of 48 cells with five readings each: its answer is longer than 1500 characters.
    QByteArray segments;
    for (int cell = 1; cell <= 48; ++cell) {
        for (const char *reading : {"Vcell", "R", "Bal", "T", "Cap"}) {
            const QByteArray length = qstrcmp(reading, "Cap") == 0 ? "16" : "4";
            segments += QByteArray(segments.isEmpty() ? "" : ",") + R"({"name": ")" + reading
                    + QByteArray::number(cell) + R"(", "length": )" + length + R"(, "scale": 1})";
        }
    }
    QFile big(protocols + QStringLiteral("/cs-48x.json"));
    QVERIFY(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
    big.write(R"({"protocol": {"name": "CS-48X", "version": "1", "frame": {},
        "commands": [{"name": "all", "code": "42", "request": {"addr": "01", "ver": "10"},
                      "response": {"dataSegments": [)"
              + segments + R"(]}}],
        "tableMapping": {"columns": [{"header": "Vcell48", "field": "Vcell48"}]}}})");
    big.close();
    m_pty = std::make_unique<TestPty>();
    QVERIFY(m_pty->isValid());
    m_pty->closeSlave();
    MainWindow::Options options;
    options.protocolDirectory = protocols;
    options.virtualPorts = {m_pty->slaveName()};
    m_window = std::make_unique<MainWindow>(options);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    Ui::MainWindow *ui = m_window->form();
    ui->portName->setCurrentIndex(ui->portName->count() - 1);
    ui->proid->setCurrentText(QStringLiteral("200 ms"));
    QCOMPARE(ui->protocolSelector->currentText(), QStringLiteral("CS-16S"));
}

void TestProtocolSwitch::cleanup()
{
    m_window.reset();
    m_pty.reset();
}

void TestProtocolSwitch::selectProtocol(const QString &name)
{
    QComboBox *selector = m_window->form()->protocolSelector;
    selector->setCurrentIndex(selector->findText(name));
}

// Each column as wide as its protocol declares, from the start and after each switch; a width
// the user dragged lasts until the columns change.
void TestProtocolSwitch::columnsTakeTheProtocolsWidths()
{
    Ui::MainWindow *ui = m_window->form();
    const auto compareWidths = [&](const QString &file) {
        ProtocolConfig config;
        QVERIFY(config.loadConfig(sampleProtocolDir() + u'/' + file));
        const QList<TableColumn> columns = config.tableColumns();
        QCOMPARE(m_window->tableModel()->columns().size(), columns.size());
        QSet<int> widths;
        for (int c = 0; c < columns.size(); ++c) {
            QCOMPARE(ui->tableView->columnWidth(c), columns.at(c).width);
            widths.insert(columns.at(c).width);
        }
        QVERIFY(widths.size() > 3); // the files' widths differ: not a default for all
    };
    compareWidths(QStringLiteral("cs-16s.json"));

    ui->tableView->setColumnWidth(2, 333);
    m_window->handleDataReceivedWithConfig(
            responseFrame(sampleProtocolDir() + QStringLiteral("/cs-16s.json"),
                          QStringLiteral("pack_status"), 1));
    QCOMPARE(ui->tableView->columnWidth(2), 333);

    BoxCloser closer;
    selectProtocol(QStringLiteral("CS-8S"));
    compareWidths(QStringLiteral("cs-8s.json"));
    selectProtocol(QStringLiteral("CS-16S"));
    compareWidths(QStringLiteral("cs-16s.json"));
}

void TestProtocolSwitch::switchWhileIdle()
{
    Ui::MainWindow *ui = m_window->form();
    m_window->handleDataReceivedWithConfig(
            responseFrame(sampleProtocolDir() + QStringLiteral("/cs-16s.json"),
                          QStringLiteral("pack_status"), 1));
    QCOMPARE(m_window->tableModel()->rowCount(), 1);
    const int columnsBefore = m_window->tableModel()->columnCount();

    BoxCloser closer;
    selectProtocol(QStringLiteral("CS-8S"));
    QCOMPARE(closer.texts, QStringList{QStringLiteral("已切换到协议: Cellscribe 8S lite (v2.1)")});
    QCOMPARE(m_window->currentProtocolConfig()->name(), QStringLiteral("CS-8S"));
    QCOMPARE(m_window->tableModel()->rowCount(), 0);
    QVERIFY(m_window->tableModel()->columnCount() != columnsBefore);
    QCOMPARE(ui->protocolSelector->toolTip(), QStringLiteral("Cellscribe 8S lite"));
    // The record count runs on across a switch.
    QCOMPARE(ui->totalsave->text(), QStringLiteral("1"));

    // The next start polls the new protocol's command.
    ui->openCom->setChecked(true);
    QByteArray written;
    QTRY_VERIFY((written += m_pty->readAvailable()).contains('~'));
    QVERIFY2(written.startsWith(":023021000017~"), written.constData());

    m_pty->write(responseFrame(sampleProtocolDir() + QStringLiteral("/cs-8s.json"),
                               QStringLiteral("basic"), 2)
                         .toLatin1());
    QTRY_COMPARE(m_window->tableModel()->rowCount(), 1);
    QCOMPARE(ui->totalsave->text(), QStringLiteral("2"));
    ui->openCom->setChecked(false);
}

void TestProtocolSwitch::currentAgainDoesNothing()
{
    BoxCloser closer;
    m_window->onProtocolSelected(m_window->form()->protocolSelector->currentIndex());
    QTest::qWait(50);
    QVERIFY(closer.texts.isEmpty());
}

void TestProtocolSwitch::refusedWhileRunning()
{
    Ui::MainWindow *ui = m_window->form();
    ui->openCom->setChecked(true);
    QByteArray written;
    QTRY_VERIFY2((written += m_pty->readAvailable()).contains('~'),
                 qPrintable(ui->statu_opencom->text() + ui->err_info->text()));
    BoxCloser closer;
    selectProtocol(QStringLiteral("CS-8S"));
    QCOMPARE(closer.texts, QStringList{QStringLiteral("请先停止数据采集再切换协议")});
    QCOMPARE(ui->protocolSelector->currentText(), QStringLiteral("CS-16S"));
    QCOMPARE(m_window->currentProtocolConfig()->name(), QStringLiteral("CS-16S"));
    QCOMPARE(m_window->activeCommand(), QStringLiteral("pack_status"));
    ui->openCom->setChecked(false);
}

void TestProtocolSwitch::brokenFileKeepsProtocol()
{
    QFile file(m_dir.filePath(QStringLiteral("protocols/cs-8s.json")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"protocol": {"name": "CS-8S", "version": "2.1", "commands": [)");
    file.close();

    BoxCloser closer;
    selectProtocol(QStringLiteral("CS-8S"));
    QCOMPARE(closer.texts, QStringList{QStringLiteral("切换协议失败: Cellscribe 8S lite (v2.1)")});
    QVERIFY2(!closer.details.first().isEmpty(), "the loader's reason is given");
    QCOMPARE(m_window->form()->protocolSelector->currentText(), QStringLiteral("CS-16S"));
    QCOMPARE(m_window->currentProtocolConfig()->name(), QStringLiteral("CS-16S"));
    QCOMPARE(m_window->activeCommand(), QStringLiteral("pack_status"));
    qInfo().noquote() << "reason:" << closer.details.first();
}

void TestProtocolSwitch::longFramesOfALargeProtocol()
{
    Ui::MainWindow *ui = m_window->form();
    {
        BoxCloser closer;
        selectProtocol(QStringLiteral("CS-48X"));
        QCOMPARE(closer.texts.size(), 1);
    }
    ProtocolConfig *config = m_window->currentProtocolConfig();
    QCOMPARE(config->name(), QStringLiteral("CS-48X"));
    QList<quint64> raws;
    for (int i = 0; i < 5 * 48; ++i)
        raws.append(quint64(1000 + i));
    const QByteArray answer =
            ResponseEncoder::encode(*config, config->command(QStringLiteral("all")), raws);
    QVERIFY(answer.size() > 1500);

    ui->openCom->setChecked(true);
    QByteArray written;
    QTRY_VERIFY((written += m_pty->readAvailable()).contains('~'));
    // In pieces, as a slow line delivers it.
    for (qsizetype at = 0; at < answer.size(); at += 300) {
        QVERIFY(m_pty->write(answer.mid(at, 300)));
        QTest::qWait(20);
    }
    QTRY_COMPARE(m_window->tableModel()->rowCount(), 1);
    QCOMPARE(m_window->tableModel()->index(0, 0).data().toString(), QString::number(1000 + 5 * 47));
    ui->openCom->setChecked(false);
}

QTEST_MAIN(TestProtocolSwitch)
#include "tst_protocolswitch.moc"
