// Switching the whole window between Chinese, English and German at run time.

#include "../testsupport/windowfixture.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "dialogs/aboutdialog.h"
#include "i18n/translations.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"
#include "widgets/voltagechartwidget.h"

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

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
