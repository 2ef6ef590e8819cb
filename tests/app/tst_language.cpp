// Switching the whole window between Chinese, English and German at run time.

#include "../testsupport/boxcloser.h"
#include "../testsupport/windowfixture.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "dialogs/aboutdialog.h"
#include "i18n/translations.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4E00}-\\x{9FFF}]"));
    return text.contains(han);
}

// Every text and font the window shows, as one comparable list.
QStringList snapshot(MainWindow &window)
{
    QStringList out{window.windowTitle()};
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        const QString name = widget->objectName() + u'=';
        if (auto *label = qobject_cast<QLabel *>(widget))
            out << name + label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            out << name + button->text();
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            out << name + group->title();
        else if (auto *tabs = qobject_cast<QTabWidget *>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                out << name + tabs->tabText(i);
        else if (auto *button = qobject_cast<SwitchButton *>(widget))
            out << name + button->textOff() + u'/' + button->textOn();
        out << name + widget->font().toString() + widget->toolTip();
    }
    QAbstractItemModel *model = window.tableModel();
    for (int c = 0; c < model->columnCount(); ++c)
        out << model->headerData(c, Qt::Horizontal).toString();
    return out;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void switchAndBackRestoresEverything();
    void savedLanguageShownFirst_data();
    void savedLanguageShownFirst();
    void captionStopsAtSmallestFont();
    void narrowHeaderSectionIgnored();
    void addedTextsFollowTheLanguage_data();
    void addedTextsFollowTheLanguage();

private:
    std::unique_ptr<MainWindow> makeWindow();
    QTemporaryDir m_dir;
};

void TestLanguage::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
}

std::unique_ptr<MainWindow> TestLanguage::makeWindow()
{
    MainWindow::Options options;
    options.protocolDirectory = sampleProtocolDir();
    options.virtualPorts = {QStringLiteral("/tmp/cs-no-port")};
    return std::make_unique<MainWindow>(options);
}

void TestLanguage::switchAndBackRestoresEverything()
{
    auto window = makeWindow();
    window->resize(1280, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->handleDataReceivedWithConfig(
            responseFrame(sampleProtocolDir() + QStringLiteral("/cs-16s.json"),
                          QStringLiteral("pack_status"), 1));
    window->showAboutDialog();
    QTest::qWait(50);
    Ui::MainWindow *ui = window->form();
    const QString clock = ui->lblDateTime->text();
    const QString received = ui->com_recvs->text();
    const QString receivedAt = ui->com_recvs_time->text();
    // Deferred refits must be done before the first picture is taken.
    QStringList chinese = snapshot(*window);
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(20);
        const QStringList again = snapshot(*window);
        if (again == chinese)
            break;
        chinese = again;
    }
    const QString status = ui->statu_opencom->text();
    const QString aboutTitle = window->aboutDialog()->windowTitle();
    const QString tab = ui->tabWidget->tabText(0);
    VoltageChartWidget *chart = window->voltageChart();
    chart->resize(600, 300);
    const QImage chineseChart = chart->grab().toImage();

    for (int language : {int(English), int(German)}) {
        ui->languageSelector->setCurrentIndex(language);
        QTest::qWait(20);
        QCOMPARE(window->languageIndex(), language);
        const TranslationMap &dictionary = translationsFor(language);
        QCOMPARE(ui->tabWidget->tabText(0), lookupTranslation(dictionary, tab));
        QVERIFY(!hasChinese(ui->tabWidget->tabText(0)));
        QVERIFY(!hasChinese(ui->openCom->textOff()));
        QVERIFY(!hasChinese(ui->openCom->textOn()));
        QVERIFY(!hasChinese(ui->run->text()));
        QVERIFY(!hasChinese(ui->com_recvs->toolTip()));
        QVERIFY(!hasChinese(ui->languageLabel->text()));
        QVERIFY(status != ui->statu_opencom->text());
        QVERIFY(aboutTitle != window->aboutDialog()->windowTitle());
        for (int c = 0; c < window->tableModel()->columnCount(); ++c) {
            const QString header = window->tableModel()->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(!hasChinese(header), qPrintable(header));
        }
        QVERIFY2(chart->grab().toImage() != chineseChart, "the chart's texts follow");
        QCOMPARE(ui->lblDateTime->text(), clock);
        QCOMPARE(ui->com_recvs->text(), received);
        QCOMPARE(ui->com_recvs_time->text(), receivedAt);
    }
    QStringList german = snapshot(*window);
    QVERIFY(german != chinese);

    ui->languageSelector->setCurrentIndex(0);
    QTRY_VERIFY(snapshot(*window) == chinese);
    const QStringList back = snapshot(*window);
    for (int i = 0; i < qMin(back.size(), chinese.size()); ++i)
        QCOMPARE(back.at(i), chinese.at(i));
    QCOMPARE(back.size(), chinese.size());
    QCOMPARE(ui->statu_opencom->text(), status);
    QCOMPARE(chart->grab().toImage(), chineseChart);
}

void TestLanguage::savedLanguageShownFirst_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << int(English);
    QTest::newRow("German") << int(German);
}

void TestLanguage::savedLanguageShownFirst()
{
    QFETCH(int, language);
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
            .setValue(QStringLiteral("language"), language);
    auto window = makeWindow();
    QVERIFY(!window->isVisible());
    QCOMPARE(window->languageIndex(), language);
    QCOMPARE(window->form()->languageSelector->currentIndex(), language);
    QVERIFY(!hasChinese(window->form()->tabWidget->tabText(0)));
    QVERIFY(!hasChinese(window->tableModel()->headerData(0, Qt::Horizontal).toString()));
    window.reset();
    QCOMPARE(QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
                     .value(QStringLiteral("language"))
                     .toInt(),
             language);
}

void TestLanguage::captionStopsAtSmallestFont()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QLabel *caption = window->form()->label;
    caption->setFixedWidth(24);
    QTest::qWait(20);
    window->fitWidgetFont(caption, QStringLiteral("A caption far too long for its label"));
    const QFont font = caption->font();
    QVERIFY2(font.pointSizeF() == 4 || font.pixelSize() == 6, qPrintable(font.toString()));
    // A label that is not a caption is never fitted.
    QLabel *counter = window->form()->com_recvs;
    const QFont before = counter->font();
    window->fitWidgetFont(counter, QStringLiteral("A text far too long for the counter label"));
    QCOMPARE(counter->font(), before);
}

void TestLanguage::narrowHeaderSectionIgnored()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QHeaderView *header = window->form()->tableView->horizontalHeader();
    const QFont recorded = window->recordedFont(header);
    header->setMinimumSectionSize(0);
    for (int s = 0; s < header->count(); ++s)
        header->resizeSection(s, 400);
    header->resizeSection(1, 8);
    // The style sheet chooses the family; the fitter only changes the size.
    window->fitHeaderFont(header);
    QCOMPARE(header->font().pointSizeF(), recorded.pointSizeF());

    header->resizeSection(1, 12);
    window->fitHeaderFont(header);
    QVERIFY(header->font().pointSizeF() < recorded.pointSizeF());
}

void TestLanguage::addedTextsFollowTheLanguage_data()
{
    QTest::addColumn<int>("language");
    // What each text must contain: port item, export box, error line, switch failure detail.
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("Chinese") << int(
            Chinese) << QStringList{"(虚拟端口)", "导出 CSV 失败", "实时导出失败", "JSON 格式无效"};
    QTest::newRow("English") << int(English)
                             << QStringList{"(virtual port)", "CSV export failed",
                                            "Real-time export failed", "Invalid JSON format"};
    QTest::newRow("German") << int(German)
                            << QStringList{"(virtueller Port)", "CSV-Export fehlgeschlagen",
                                           "Echtzeit-Export fehlgeschlagen",
                                           "Ungültiges JSON-Format"};
}

// Texts the application composes beyond the original table, after a switch at run time.
void TestLanguage::addedTextsFollowTheLanguage()
{
    QFETCH(int, language);
    QFETCH(QStringList, expected);

    const QString protocols = m_dir.filePath(QStringLiteral("protocols"));
    QDir().mkpath(protocols);
    for (const QString &name : {QStringLiteral("cs-16s.json"), QStringLiteral("cs-8s.json")}) {
        QFile::remove(protocols + u'/' + name);
        QVERIFY(QFile::copy(sampleProtocolDir() + u'/' + name, protocols + u'/' + name));
    }
    MainWindow::Options options;
    options.protocolDirectory = protocols;
    options.virtualPorts = {QStringLiteral("/tmp/cs-no-port")};
    MainWindow window(options);
    // Away and back, so every text has been through a run-time switch.
    window.applyLanguage(language == German ? English : German);
    window.applyLanguage(language);
    Ui::MainWindow *ui = window.form();

    QVERIFY2(ui->portName->itemText(ui->portName->count() - 1).endsWith(expected.at(0)),
             qPrintable(ui->portName->itemText(ui->portName->count() - 1)));

    BoxCloser closer;
    window.handleDataReceivedWithConfig(
            responseFrame(sampleProtocolDir() + QStringLiteral("/cs-16s.json"),
                          QStringLiteral("pack_status"), 1));
    window.viewExportToCSV(ui->tableView, m_dir.filePath(QStringLiteral("no-dir/x.csv")));
    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts.constLast().contains(expected.at(1)),
             qPrintable(closer.texts.constLast()));

    ui->realtime_export->setChecked(true);
    const QString log = m_dir.filePath(QStringLiteral("log.csv"));
    window.viewExportToCSV(ui->tableView, log);
    QVERIFY(QFile::remove(log));
    QVERIFY(QDir().mkdir(log));
    window.handleDataReceivedWithConfig(
            responseFrame(sampleProtocolDir() + QStringLiteral("/cs-16s.json"),
                          QStringLiteral("pack_status"), 2));
    QVERIFY2(ui->err_info->text().contains(expected.at(2)), qPrintable(ui->err_info->text()));
    QVERIFY(QDir().rmdir(log));

    QFile broken(protocols + QStringLiteral("/cs-8s.json"));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write(R"({"protocol": {"name": "CS-8S", "version": "2.1", "commands": [)");
    broken.close();
    ui->protocolSelector->setCurrentIndex(ui->protocolSelector->findText(QStringLiteral("CS-8S")));
    QTRY_COMPARE(closer.details.size(), 2);
    QVERIFY2(closer.details.constLast().contains(expected.at(3)),
             qPrintable(closer.details.constLast()));
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
