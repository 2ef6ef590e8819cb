#include "i18n/translations.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QFile>
#include <QGridLayout>
#include <QMainWindow>
#include <QPixmap>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

// The form's object names, classes and texts are what protocol files and the window's code
// look widgets up by; these tests pin them down.
class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valueRows_data();
    void valueRows();
    void valueRowsInCreationOrder();
    void lamps_data();
    void lamps();
    void namedWidgets_data();
    void namedWidgets();
    void namePatterns();
    void initialState();
    void selectorItems();
    void resources_data();
    void resources();
    void styleSheetFallbackMatchesResource();
    void styleSheetRulesApply();

private:
    template<typename T>
    T *find(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<Ui::MainWindow> ui;
};

namespace {

struct ValueRow
{
    const char *key;
    const char *group; // "bms" (pack) or "volt"
    int row;
    int column;
    const char *caption;
    const char *unit;
    const char *english;
};

// Listed in the order the rows are created.
const ValueRow kValueRows[] = {
        {"number", "bms", 0, 0, "电池串数", "", "Battery Count"},
        {"soh", "bms", 1, 2, "SOH", "%", "SOH"},
        {"timeleft", "bms", 3, 0, "剩余时间", "min", "Remaining Time"},
        {"mintemperature", "bms", 2, 2, "最低温度", "℃", "Lowest Temp"},
        {"ts4", "bms", 3, 3, "温度4", "℃", "Temp 4"},
        {"totalv", "bms", 0, 1, "总电压", "V", "Total Voltage"},
        {"current", "bms", 0, 2, "总电流", "A", "Total Current"},
        {"ts1", "bms", 0, 3, "温度1", "℃", "Temp 1"},
        {"ts2", "bms", 1, 3, "温度2", "℃", "Temp 2"},
        {"ts3", "bms", 2, 3, "温度3", "℃", "Temp 3"},
        {"maxtemperature", "bms", 3, 2, "最高温度", "℃", "Highest Temp"},
        {"totalcapacity", "bms", 2, 0, "设计容量", "AH", "Design Capacity"},
        {"remainingcapacity", "bms", 2, 1, "剩余容量", "AH", "Remaining Capacity"},
        {"soc", "bms", 1, 1, "SOC", "%", "SOC"},
        {"protocolversion", "bms", 1, 0, "协议版本", "", "Protocol Version"},
        {"leanstatu", "bms", 3, 1, "学习状态", "%", "Learning Status"},
        {"maxv", "volt", 0, 0, "最大电压", "mV", "Max Voltage"},
        {"minv", "volt", 0, 1, "最小电压", "mV", "Min Voltage"},
        {"vdiff", "volt", 0, 2, "电压差值", "mV", "Voltage Diff"},
};

struct Lamp
{
    int n;
    const char *key;
    const char *caption;
    const char *english;
};

const Lamp kLamps[] = {
        {41, "utd", "放电低温", "Discharge Low Temp"},
        {42, "otd", "放电高温", "Discharge High Temp"},
        {43, "utc", "充电低温", "Charge Low Temp"},
        {44, "otc", "充电高温", "Charge High Temp"},
        {45, "ocd", "放电过流", "Discharge Overcurrent"},
        {46, "occ", "充电过流", "Charge Overcurrent"},
        {47, "sc", "短路", "Short Circuit"},
        {48, "otm", "MOS高温", "MOS High Temp"},
        {49, "heating", "加热中", "Heating"},
        {50, "blanceing", "均衡中", "Balancing"},
        {51, "ov", "过充", "Overcharge"},
        {52, "uv", "过放", "Overdischarge"},
        {53, "chging", "充电", "Charging"},
        {54, "dsging", "放电", "Discharging"},
        {55, "standby", "正常待机", "Standby"},
};

QStringList valueKeysInOrder()
{
    QStringList keys;
    for (const ValueRow &r : kValueRows)
        keys << QString::fromUtf8(r.key);
    for (int n = 1; n <= 16; ++n)
        keys << QStringLiteral("cell%1").arg(n);
    return keys;
}

const QStringList kResourcePaths = {
        QStringLiteral(":/icons/Icon/glay.png"),
        QStringLiteral(":/icons/Icon/green_cycle_full.png"),
        QStringLiteral(":/icons/Icon/red_cycle_full.png"),
        QStringLiteral(":/icons/Icon/realdata.png"),
        QStringLiteral(":/icons/Icon/moreinfo.png"),
        QStringLiteral(":/icons/Icon/clean.png"),
        QStringLiteral(":/icons/Icon/app.png"),
        QStringLiteral(":/icons/Icon/combo_arrow.png"),
};

} // namespace

void TestMainForm::init()
{
    window = std::make_unique<QMainWindow>();
    ui = std::make_unique<Ui::MainWindow>();
    ui->setupUi(window.get());
}

void TestMainForm::cleanup()
{
    ui.reset();
    window.reset();
}

void TestMainForm::valueRows_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("english");

    for (const ValueRow &r : kValueRows)
        QTest::newRow(r.key) << QString::fromUtf8(r.key) << QString::fromUtf8(r.group) << r.row
                             << r.column << QString::fromUtf8(r.caption)
                             << QString::fromUtf8(r.unit) << QString::fromUtf8(r.english);
    for (int n = 1; n <= 16; ++n) {
        const QString key = QStringLiteral("cell%1").arg(n);
        QTest::newRow(qPrintable(key)) << key << QStringLiteral("volt") << 1 + (n - 1) / 4
                                       << (n - 1) % 4 << QStringLiteral("电芯%1").arg(n)
                                       << QStringLiteral("mV") << QStringLiteral("Cell %1").arg(n);
    }
}

void TestMainForm::valueRows()
{
    QFETCH(QString, key);
    QFETCH(QString, group);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, caption);
    QFETCH(QString, unit);
    QFETCH(QString, english);

    auto *mark = find<QLabel>(QStringLiteral("data_%1_mark").arg(key));
    auto *field = find<QLineEdit>(QStringLiteral("data_%1").arg(key));
    auto *unitLabel = find<QLabel>(QStringLiteral("data_%1_unit").arg(key));
    auto *frame = find<QFrame>(QStringLiteral("frame_hbox_%1_data_%2").arg(group, key));
    QVERIFY(mark && field && unitLabel && frame);

    QCOMPARE(mark->text(), caption);
    QCOMPARE(unitLabel->text(), unit);
    QVERIFY(field->text().isEmpty());
    QVERIFY(field->isReadOnly());
    QVERIFY(field->isEnabled());
    QCOMPARE(field->minimumWidth(), 90);
    QCOMPARE(field->maximumWidth(), 90);
    QCOMPARE(field->alignment(), Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
    QCOMPARE(unitLabel->minimumWidth(), 50);
    QCOMPARE(unitLabel->maximumWidth(), 50);
    QVERIFY(mark->wordWrap());
    QCOMPARE(mark->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight | Qt::AlignTrailing);

    QCOMPARE(mark->font().family(), QStringLiteral("微软雅黑"));
    QCOMPARE(mark->font().pointSize(), 11);
    QCOMPARE(field->font().pointSize(), 11);
    QCOMPARE(unitLabel->font().family(), QStringLiteral("等线"));
    QCOMPARE(unitLabel->font().pointSize(), key == QLatin1String("protocolversion") ? 10 : 11);

    // The caption translates through the built-in table (what a language switch relies on).
    QCOMPARE(lookupTranslation(translationsFor(English), caption), english);

    // Mark, field and unit, left to right, in the row's own layout.
    auto *layout = qobject_cast<QHBoxLayout *>(frame->layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("hbox_%1_data_%2").arg(group, key));
    QCOMPARE(layout->count(), 3);
    QCOMPARE(layout->itemAt(0)->widget(), mark);
    QCOMPARE(layout->itemAt(1)->widget(), field);
    QCOMPARE(layout->itemAt(2)->widget(), unitLabel);
    QCOMPARE(layout->spacing(), 2);
    QCOMPARE(layout->contentsMargins(), QMargins(3, 1, 3, 1));
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Plain);

    // Grid cell in its group.
    const QString gridName = group == QLatin1String("bms")
            ? QStringLiteral("gridLayout_bmsInfo")
            : QStringLiteral("gridLayout_voltageLabels");
    auto *grid = window->findChild<QGridLayout *>(gridName);
    QVERIFY(grid);
    QCOMPARE(grid->itemAtPosition(row, column)->widget(), frame);
}

void TestMainForm::valueRowsInCreationOrder()
{
    QStringList created;
    const QRegularExpression fieldName(QStringLiteral("^data_[a-z0-9]+$"));
    for (QLineEdit *e : window->findChildren<QLineEdit *>(fieldName))
        created << e->objectName().mid(5);
    QCOMPARE(created, valueKeysInOrder());
    QVERIFY(!find<QObject>(QStringLiteral("data_cellcount")));
}

void TestMainForm::lamps_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("english");
    for (const Lamp &l : kLamps)
        QTest::newRow(l.key) << l.n << QString::fromUtf8(l.key) << QString::fromUtf8(l.caption)
                             << QString::fromUtf8(l.english);
}

void TestMainForm::lamps()
{
    QFETCH(int, n);
    QFETCH(QString, key);
    QFETCH(QString, caption);
    QFETCH(QString, english);

    auto *frame = find<QFrame>(QStringLiteral("frame_horizontalLayout_%1").arg(n));
    auto *mark = find<QLabel>(QStringLiteral("statu_%1_mark").arg(key));
    auto *lamp = find<QLabel>(QStringLiteral("statu_%1").arg(key));
    QVERIFY(frame && mark && lamp);

    QCOMPARE(mark->text(), caption);
    QCOMPARE(mark->font().pointSize(), 11);
    QCOMPARE(lookupTranslation(translationsFor(English), caption), english);
    QVERIFY(lamp->text().isEmpty());
    QVERIFY(!lamp->pixmap().isNull());
    QVERIFY(lamp->hasScaledContents());
    QCOMPARE(lamp->maximumSize(), QSize(20, 20));
    QCOMPARE(frame->frameShape(), QFrame::NoFrame);

    auto *layout = frame->layout();
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QStringLiteral("horizontalLayout_%1").arg(n));
    QCOMPARE(layout->count(), 2);
    QCOMPARE(layout->itemAt(0)->widget(), mark);
    QCOMPARE(layout->itemAt(1)->widget(), lamp);
    QCOMPARE(layout->spacing(), 0);

    // Rows top to bottom in table order.
    auto *column = window->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_10"));
    QVERIFY(column);
    QCOMPARE(column->itemAt(n - 41)->widget(), frame);
    QCOMPARE(frame->parentWidget(), find<QGroupBox>(QStringLiteral("groupBox4")));
}

void TestMainForm::namedWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName"); // nearest named ancestor widget
    QTest::addColumn<QVariant>("text"); // invalid: the widget has no text to check

    auto add = [](const char *name, const char *cls, const char *parent, const QVariant &text) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                            << QString::fromLatin1(parent) << text;
    };
    auto s = [](const char *utf8) { return QVariant(QString::fromUtf8(utf8)); };
    const QVariant none;

    add("centralwidget", "QWidget", "MainWindow", none);
    add("label", "QLabel", "centralwidget", s("端口："));
    add("portName", "QComboBox", "centralwidget", none);
    add("label_2", "QLabel", "centralwidget", s("波特率："));
    add("bard", "QComboBox", "centralwidget", none);
    add("label_protocol", "QLabel", "centralwidget", s("协议："));
    add("protocolSelector", "QComboBox", "centralwidget", none);
    add("languageLabel", "QLabel", "centralwidget", s("语言："));
    add("languageSelector", "QComboBox", "centralwidget", none);
    add("label_3", "QLabel", "centralwidget", s("采集频率："));
    add("proid", "QComboBox", "centralwidget", none);
    add("openCom", "SwitchButton", "centralwidget", none);
    add("lblDateTime", "QLabel", "centralwidget", s("2024-01-01 00:00:00"));
    add("tabWidget", "QTabWidget", "centralwidget", none);
    add("tab_home", "QWidget", "tabWidget", none);
    add("groupBox_bmsInfo", "QGroupBox", "tab_home", none);
    add("groupBox_voltage", "QGroupBox", "tab_home", none);
    add("stackedWidget_voltage", "QStackedWidget", "groupBox_voltage", none);
    add("page_voltageLabels", "QWidget", "stackedWidget_voltage", none);
    add("page_voltageChart", "QWidget", "stackedWidget_voltage", none);
    add("groupBox4", "QGroupBox", "tab_home", none);
    add("tab_data", "QWidget", "tabWidget", none);
    add("run", "QPushButton", "tab_data", s("停止"));
    add("btn_export", "QPushButton", "tab_data", s("导出"));
    add("realtime_export", "QCheckBox", "tab_data", s("实时导出"));
    add("btn_clear", "QPushButton", "tab_data", s("清除"));
    add("autoruncheck", "QCheckBox", "tab_data", s("自动滚动"));
    add("lineresize", "QCheckBox", "tab_data", s("宽度自适应"));
    add("label_4", "QLabel", "tab_data", s("总记录数："));
    add("totalsave", "QLineEdit", "tab_data", s("0"));
    add("tableView", "QTableView", "tab_data", none);
    add("readdata", "QTextEdit", "centralwidget", none);
    add("frame_horizontalLayout_2", "QFrame", "centralwidget", none);
    add("statu_tx_mark", "QLabel", "frame_horizontalLayout_2", s("TX"));
    add("statu_tx", "QLabel", "frame_horizontalLayout_2", s(""));
    add("statu_rx_mark", "QLabel", "frame_horizontalLayout_2", s("RX"));
    add("statu_rx", "QLabel", "frame_horizontalLayout_2", s(""));
    add("statu_opencom", "QLabel", "centralwidget", s("未连接！"));
    add("err_info", "QLabel", "centralwidget", s(""));
    add("frame_horizontalLayout_3", "QFrame", "centralwidget", none);
    add("com_recvs_mark", "QLabel", "frame_horizontalLayout_3", s("接收:"));
    add("com_recvs", "QLabel", "frame_horizontalLayout_3", s("0"));
    add("com_sends_mark", "QLabel", "frame_horizontalLayout_3", s("发送:"));
    add("com_sends", "QLabel", "frame_horizontalLayout_3", s("0"));
    add("com_recvs_time_mark", "QLabel", "frame_horizontalLayout_3", s("接收时间:"));
    add("com_recvs_time", "QLabel", "frame_horizontalLayout_3", s("---- -- --  --:--:--"));
}

void TestMainForm::namedWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QVariant, text);

    const QList<QWidget *> matches = window->findChildren<QWidget *>(name);
    QCOMPARE(matches.size(), 1); // names are unique
    QWidget *w = matches.first();
    QVERIFY2(w->inherits(className.toLatin1()), w->metaObject()->className());
    if (className == QLatin1String("QWidget"))
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);

    QWidget *ancestor = w->parentWidget();
    while (ancestor && ancestor->objectName().isEmpty())
        ancestor = ancestor->parentWidget();
    QVERIFY(ancestor);
    // Tab pages and stack pages sit in an unnamed internal container.
    QWidget *named = ancestor;
    while (named && named->objectName().startsWith(QLatin1String("qt_")))
        named = named->parentWidget();
    QCOMPARE(named->objectName(), parentName);

    if (text.isValid())
        QCOMPARE(w->property("text").toString(), text.toString());
}

void TestMainForm::namePatterns()
{
    auto count = [this](const char *pattern) {
        const QRegularExpression re(QString::fromLatin1(pattern));
        return window->findChildren<QLabel *>(re).size();
    };
    QCOMPARE(count("^data_.*_unit$"), 35);
    QCOMPARE(count("^data_.*_mark$"), 35);
    QCOMPARE(window->findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("^data_"))).size(),
             35);
    // Fifteen work-state lamps plus TX and RX, each with its caption.
    QCOMPARE(count("^statu_.*_mark$"), 17);
    QCOMPARE(count("^statu_[a-z]+$"), 18); // and statu_opencom
    QCOMPARE(count("^com_"), 6);
    const QRegularExpression rowLayouts(QStringLiteral("_data_"));
    QCOMPARE(window->findChildren<QHBoxLayout *>(rowLayouts).size(), 35);

    // Every widget of the form's classes carries a name (Qt's own internals aside).
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const QByteArray cls = w->metaObject()->className();
        static const QByteArrayList formClasses = {
                "QWidget",     "QLabel",     "QLineEdit",      "QComboBox",  "QFrame",
                "QGroupBox",   "QTabWidget", "QStackedWidget", "QTableView", "QTextEdit",
                "QPushButton", "QCheckBox",  "SwitchButton"};
        if (formClasses.contains(cls) && !w->objectName().startsWith(QLatin1String("qt_")))
            QVERIFY2(!w->objectName().isEmpty(), cls.constData());
    }
}

void TestMainForm::initialState()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Brevon数据采集器 V2.30"));
    QCOMPARE(window->minimumSize(), QSize(1280, 640));
    QCOMPARE(window->size(), QSize(1280, 640));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->centralWidget(), ui->centralwidget);

    QCOMPARE(ui->tabWidget->currentWidget(), ui->tab_home);
    QCOMPARE(ui->tabWidget->count(), 2);
    QCOMPARE(ui->tabWidget->tabText(0), QStringLiteral(" 实时数据 "));
    QCOMPARE(ui->tabWidget->tabText(1), QStringLiteral(" 数据采集 "));
    QVERIFY(!ui->tabWidget->tabIcon(0).isNull());
    QVERIFY(!ui->tabWidget->tabIcon(1).isNull());
    QCOMPARE(ui->stackedWidget_voltage->currentWidget(), ui->page_voltageLabels);
    QCOMPARE(ui->stackedWidget_voltage->count(), 2);
    QCOMPARE(ui->stackedWidget_voltage->widget(1), ui->page_voltageChart);
    QVERIFY(ui->verticalLayout_chartPage);
    QCOMPARE(ui->verticalLayout_chartPage->count(), 0);
    QCOMPARE(ui->page_voltageChart->layout(), ui->verticalLayout_chartPage);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(ui->readdata->isHidden());
    QCOMPARE(ui->readdata->maximumHeight(), 30);
    QVERIFY(ui->tab_home->isVisible());

    QVERIFY(!ui->autoruncheck->isChecked());
    QVERIFY(!ui->openCom->isChecked());
    QVERIFY(ui->openCom->showCircle());
    QVERIFY(ui->openCom->animation());
    QCOMPARE(ui->openCom->textOff(), QStringLiteral("停止"));
    QCOMPARE(ui->openCom->textOn(), QStringLiteral("开始"));
    QCOMPARE(ui->openCom->minimumWidth(), 70);

    QCOMPARE(ui->groupBox4->title(), QStringLiteral("工作状态"));
    QCOMPARE(ui->groupBox4->minimumWidth(), 200);
    QCOMPARE(ui->groupBox4->maximumWidth(), 200);
    QVERIFY(ui->groupBox_bmsInfo->title().isEmpty());
    QVERIFY(ui->groupBox_voltage->title().isEmpty());
    QVERIFY(!ui->btn_clear->icon().isNull());
    for (QPushButton *b : {ui->run, ui->btn_export, ui->btn_clear})
        QCOMPARE(b->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(ui->tableView->sizeAdjustPolicy(), QAbstractScrollArea::AdjustToContents);
    QVERIFY(ui->tableView->horizontalHeader()->highlightSections());
    QVERIFY(ui->tableView->verticalHeader()->highlightSections());

    QCOMPARE(ui->statu_opencom->minimumWidth(), 450);
    QCOMPARE(ui->statu_opencom->maximumWidth(), 450);
    QVERIFY(!ui->statu_opencom->wordWrap());
    QCOMPARE(ui->statu_opencom->font().pointSize(), 8);
    QCOMPARE(ui->err_info->minimumWidth(), 260);
    for (QLabel *lamp : {ui->statu_tx, ui->statu_rx}) {
        QCOMPARE(lamp->maximumSize(), QSize(12, 12));
        QVERIFY(!lamp->pixmap().isNull());
    }
    QCOMPARE(ui->lblDateTime->maximumSize(), QSize(600, 50));
    QCOMPARE(ui->lblDateTime->font().family(), QStringLiteral("monospace"));
    QCOMPARE(ui->protocolSelector->font().pointSize(), 12);
    QCOMPARE(ui->proid->font().pointSize(), 12);
    QCOMPARE(ui->portName->font().pointSize(), 9);
    QCOMPARE(ui->label->font().pointSize(), 9);
}

void TestMainForm::selectorItems()
{
    auto items = [](QComboBox *box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    QCOMPARE(items(ui->bard), QStringList({"9600", "19200", "38400", "115200"}));
    QCOMPARE(items(ui->languageSelector),
             QStringList({QStringLiteral("中文"), QStringLiteral("英文"), QStringLiteral("德文")}));
    QCOMPARE(ui->portName->count(), 0);
    QCOMPARE(ui->protocolSelector->count(), 0);
    QCOMPARE(ui->proid->count(), 0);
}

void TestMainForm::resources_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &p : kResourcePaths)
        QTest::newRow(qPrintable(p)) << p;
}

void TestMainForm::resources()
{
    QFETCH(QString, path);
    // No Q_INIT_RESOURCE here: linking cellscribe_gui must be enough.
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QVERIFY(pixmap.width() >= 16 && pixmap.width() == pixmap.height());
}

void TestMainForm::styleSheetFallbackMatchesResource()
{
    QFile resource(QStringLiteral(":/styles/modern_style.qss"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QByteArray embedded = resource.readAll();
    QVERIFY(embedded.size() > 1000);

    // The fallback is read relative to the working directory of a run from the source tree.
    QFile fallback(QStringLiteral(CELLSCRIBE_SOURCE_DIR "/resources/styles/modern_style.qss"));
    QVERIFY(fallback.open(QIODevice::ReadOnly));
    QCOMPARE(fallback.readAll(), embedded);

    // The window reads the rules as Latin-1: they must be plain ASCII.
    for (char c : embedded)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);

    // Every picture the rules name is embedded.
    const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    int urls = 0;
    for (const QRegularExpressionMatch &m : url.globalMatch(QString::fromLatin1(embedded))) {
        QVERIFY2(!QPixmap(m.captured(1)).isNull(), qPrintable(m.captured(1)));
        ++urls;
    }
    QVERIFY(urls > 0);
}

void TestMainForm::styleSheetRulesApply()
{
    QFile resource(QStringLiteral(":/styles/modern_style.qss"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QString sheet = QString::fromLatin1(resource.readAll());

    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &m) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    warnings << m;
            });
    window->setStyleSheet(sheet);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    qInstallMessageHandler(previous);
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    // The lamp rules: every work-state lamp a 20 x 20 box, TX and RX 12 x 12.
    for (const Lamp &l : kLamps) {
        auto *lamp = find<QLabel>(QStringLiteral("statu_%1").arg(l.key));
        QCOMPARE(lamp->maximumSize(), QSize(20, 20));
        QCOMPARE(lamp->minimumSize(), QSize(20, 20));
        // Captions match the "_mark" suffix rule, not the lamp rule.
        auto *mark = find<QLabel>(QStringLiteral("statu_%1_mark").arg(l.key));
        QVERIFY2(mark->minimumWidth() >= 85, l.key);
        QVERIFY(mark->maximumWidth() > 85);
    }
    QCOMPARE(ui->statu_tx->maximumSize(), QSize(12, 12));
    QCOMPARE(ui->statu_rx->minimumSize(), QSize(12, 12));
    QVERIFY(ui->data_totalv_mark->minimumWidth() >= 80);
    QVERIFY(ui->statu_opencom->maximumWidth() >= 600 && ui->statu_opencom->maximumWidth() < 620);
    QVERIFY(ui->statu_opencom->minimumWidth() >= 200 && ui->statu_opencom->minimumWidth() < 220);
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
