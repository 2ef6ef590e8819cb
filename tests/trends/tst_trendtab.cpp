// The trend tab in the main window: the third tab, fed by the window's table (here with rows
// decoded from the simulator's own answers), following protocol switches and the language.

#include "../testsupport/boxcloser.h"
#include "app/mainwindow.h"
#include "batterymodel.h"
#include "datalog/rdmodel.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "simulatedlog.h"
#include "trends/trenddata.h"
#include "trends/trendlegend.h"
#include "trends/trendpicker.h"
#include "trends/trendplot.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

bool hasChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4E00}-\\x{9FFF}]"));
    return text.contains(han);
}

// Every text the trend tab shows in widgets.
QStringList texts(TrendView *view)
{
    QStringList out;
    for (QWidget *widget : view->findChildren<QWidget *>()) {
        if (auto *label = qobject_cast<QLabel *>(widget))
            out << label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            out << button->text();
        if (auto *tree = qobject_cast<QTreeWidget *>(widget)) {
            for (int c = 0; c < tree->columnCount(); ++c)
                out << tree->headerItem()->text(c);
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                for (int c = 0; c < tree->columnCount(); ++c)
                    out << (*it)->text(c) << (*it)->toolTip(c);
            }
        }
        out << widget->toolTip();
    }
    return out;
}

} // namespace

class TestTrendTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void thirdTab();
    void builtWhenFirstShown_data();
    void builtWhenFirstShown();
    void fedByTheWindowsTable();
    void languageSwitch_data();
    void languageSwitch();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> window;
};

void TestTrendTab::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS")).clear();
    MainWindow::Options options;
    options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    options.virtualPorts = {QStringLiteral("/tmp/cs-no-port")};
    window = std::make_unique<MainWindow>(options);
    window->resize(1280, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestTrendTab::cleanup()
{
    window.reset();
}

void TestTrendTab::thirdTab()
{
    Ui::MainWindow *ui = window->form();
    QCOMPARE(ui->tabWidget->count(), 3);
    QCOMPARE(ui->tabWidget->widget(0), ui->tab_home);
    QCOMPARE(ui->tabWidget->widget(1), ui->tab_data);
    QCOMPARE(ui->tabWidget->widget(2), window->trendView());
    QCOMPARE(ui->tabWidget->tabText(2), QStringLiteral(" 趋势 "));
    QVERIFY(!ui->tabWidget->tabIcon(2).isNull());
    // The form's tabs stay first, and the window still opens on the first.
    QCOMPARE(ui->tabWidget->currentIndex(), 0);
    QCOMPARE(window->trendView()->data()->model(), window->tableModel());
}

// The tab's widgets wait for its first showing; the rows, a protocol switch and the language
// that came before are all on it then.
void TestTrendTab::builtWhenFirstShown_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("switchProtocol");
    QTest::addColumn<QString>("follow");
    QTest::newRow("Chinese") << int(Chinese) << false << QStringLiteral("跟随最新");
    QTest::newRow("German, after a switch") << int(German) << true << QString();
}

void TestTrendTab::builtWhenFirstShown()
{
    QFETCH(int, language);
    QFETCH(bool, switchProtocol);
    QFETCH(QString, follow);
    Ui::MainWindow *ui = window->form();
    auto *view = qobject_cast<TrendView *>(ui->tabWidget->widget(2));
    QVERIFY(view);
    QVERIFY(!view->isBuilt());
    QVERIFY(view->findChildren<QWidget *>().isEmpty());

    if (switchProtocol) {
        BoxCloser closer;
        QComboBox *selector = ui->protocolSelector;
        selector->setCurrentIndex(selector->findText(QStringLiteral("CS-8S")));
    }
    ui->languageSelector->setCurrentIndex(language);
    ProtocolConfig *config = window->currentProtocolConfig();
    const QDateTime start(QDate(2024, 5, 17), QTime(12, 0));
    QCOMPARE(SimulatedLog::fill(*window->tableModel(), *config, config->defaultCommand(), start, 90,
                                60000),
             90);
    QTest::qWait(20);
    QVERIFY(!view->isBuilt());

    ui->tabWidget->setCurrentWidget(view);
    QVERIFY(view->isBuilt());
    QVERIFY(view->isVisible() && view->plot()->isVisible() && view->picker()->isVisible());
    QCOMPARE(view->data()->rowCount(), 90);
    QCOMPARE(view->plot()->viewEnd(), start.addSecs(89 * 60).toMSecsSinceEpoch());
    // Eight or sixteen cells and the current, as on a tab built at start-up.
    const int cells = switchProtocol ? 8 : 16;
    QCOMPARE(view->picker()->checkedSeries().size(), cells + 1);
    QCOMPARE(view->legend()->series(), view->picker()->checkedSeries());
    QVERIFY2(view->readoutText().contains(QStringLiteral("2024-05-17 13:29")),
             qPrintable(view->readoutText()));
    const QStringList shown = texts(view);
    if (!follow.isEmpty()) {
        QVERIFY(shown.contains(follow));
    } else {
        for (const QString &text : shown)
            QVERIFY2(!hasChinese(text), qPrintable(text));
    }
    QVERIFY(!view->plot()->grab().isNull());
}

void TestTrendTab::fedByTheWindowsTable()
{
    ProtocolConfig *config = window->currentProtocolConfig();
    QVERIFY(config);
    const QDateTime start(QDate(2024, 5, 17), QTime(12, 0));
    QCOMPARE(SimulatedLog::fill(*window->tableModel(), *config, config->defaultCommand(), start,
                                120, 60000),
             120);
    TrendView *view = window->trendView();
    window->form()->tabWidget->setCurrentWidget(view);
    QCOMPARE(view->data()->rowCount(), 120);
    QCOMPARE(view->data()->times().last(), start.addSecs(119 * 60).toMSecsSinceEpoch());
    QCOMPARE(view->plot()->viewEnd(), view->data()->times().last());
    // Over the two hours the simulator's weak cell has the lowest mean.
    QList<int> cells;
    for (int s = 0; s < view->data()->seriesCount(); ++s) {
        if (view->data()->series().at(s).cell > 0)
            cells.append(s);
    }
    QCOMPARE(cells.size(), 16);
    std::vector<TrendSummary::Entry> entries(size_t(cells.size()));
    view->data()->summarize(0, 120, cells, entries.data());
    int lowest = 0;
    for (int i = 0; i < cells.size(); ++i) {
        QCOMPARE(entries[size_t(i)].count, 120u);
        if (entries[size_t(i)].sum < entries[size_t(lowest)].sum)
            lowest = i;
    }
    QCOMPARE(view->data()->series().at(cells.at(lowest)).cell, BatteryModel(1).weakCell() + 1);
    QVERIFY(!view->plot()->grab().isNull());

    // Another protocol: the table is cleared and the curves are those of its columns.
    BoxCloser closer;
    QComboBox *selector = window->form()->protocolSelector;
    selector->setCurrentIndex(selector->findText(QStringLiteral("CS-8S")));
    QCOMPARE(window->tableModel()->rowCount(), 0);
    QCOMPARE(view->data()->rowCount(), 0);
    QCOMPARE(view->data()->catalogue().indexOf(QStringLiteral("Vcell9")), -1);
    QCOMPARE(view->picker()->checkedSeries().size(), 9); // the same choice: 8 cells, current
}

void TestTrendTab::languageSwitch_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("tab");
    QTest::newRow("English") << int(English) << QStringLiteral(" Trends ");
    QTest::newRow("German") << int(German) << QStringLiteral(" Verlauf ");
}

void TestTrendTab::languageSwitch()
{
    QFETCH(int, language);
    QFETCH(QString, tab);
    ProtocolConfig *config = window->currentProtocolConfig();
    SimulatedLog::fill(*window->tableModel(), *config, config->defaultCommand(),
                       QDateTime(QDate(2024, 5, 17), QTime(12, 0)), 30, 60000);
    TrendView *view = window->trendView();
    Ui::MainWindow *ui = window->form();
    ui->tabWidget->setCurrentWidget(view);
    view->picker()->setGroupChecked(TrendGroup::Temperatures, true);
    QTest::qWait(20);
    const QStringList chinese = texts(view);
    QVERIFY(chinese.join(QString()).contains(QStringLiteral("跟随最新")));
    view->plot()->setMode(TrendPlot::Mode::HeatMap);
    const QImage chineseHeatMap = view->plot()->grab().toImage();
    view->plot()->setMode(TrendPlot::Mode::Lines);

    ui->languageSelector->setCurrentIndex(language);
    QTest::qWait(20);
    QCOMPARE(ui->tabWidget->tabText(2), tab);
    for (const QString &text : texts(view))
        QVERIFY2(!hasChinese(text), qPrintable(text));
    // The tab bar's fitting covers the new tab as well.
    QTabBar *bar = ui->tabWidget->tabBar();
    QVERIFY(QFontMetrics(bar->font()).boundingRect(bar->tabText(2)).width()
            < bar->tabRect(2).width() - 8);
    // Texts drawn on the plot follow too.
    view->plot()->setMode(TrendPlot::Mode::HeatMap);
    QVERIFY(view->plot()->grab().toImage() != chineseHeatMap);
    view->plot()->setMode(TrendPlot::Mode::Lines);

    ui->languageSelector->setCurrentIndex(Chinese);
    QTest::qWait(20);
    QCOMPARE(ui->tabWidget->tabText(2), QStringLiteral(" 趋势 "));
    QCOMPARE(texts(view), chinese);
}

QTEST_MAIN(TestTrendTab)
#include "tst_trendtab.moc"
