// What a frame repaints in the window, and that the value fields and the chart look the same
// whether drawn from their kept pictures or painted over their ancestors as Qt does.

#include "app/mainwindow.h"
#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "ui_mainwindow.h"
#include "widgets/voltagechartwidget.h"
#include "widgets/widgetbackdrop.h"

#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Counts paint events per widget.
class PaintCounter : public QObject
{
public:
    QHash<QObject *, int> paints;

    void watch(QWidget *widget) { widget->installEventFilter(this); }
    int total() const
    {
        int sum = 0;
        for (int n : paints)
            sum += n;
        return sum;
    }
    // Which widgets painted, for a failure's message.
    QString painted() const
    {
        QStringList names;
        for (auto it = paints.begin(); it != paints.end(); ++it)
            names << QStringLiteral("%1 %2").arg(it.key()->objectName()).arg(it.value());
        return names.join(QStringLiteral(", "));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};

QList<QLineEdit *> valueFields(const MainWindow &window)
{
    QList<QLineEdit *> fields;
    for (QLineEdit *field : window.findChildren<QLineEdit *>()) {
        if (field->objectName().startsWith(QLatin1String("data_")))
            fields.append(field);
    }
    return fields;
}

// A frame's readings for every field of the protocol's default command.
QVariantHash readings(const MainWindow &window, int base)
{
    QVariantHash values;
    ProtocolConfig *config = window.currentProtocolConfig();
    int n = 0;
    for (const DataSegment &segment : config->dataSegments(config->defaultCommand()))
        values.insert(segment.name, base + 7 * n++);
    for (int cell = 1; cell <= 16; ++cell)
        values.insert(QStringLiteral("Vcell%1").arg(cell), base + (cell * 37) % 90);
    values.insert(QStringLiteral("WorkState"), 0xF001);
    return values;
}

// Share of pixels that differ, in percent.
double differing(const QImage &a, const QImage &b)
{
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    if (left.size() != right.size())
        return 100;
    qint64 count = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto *l = reinterpret_cast<const QRgb *>(left.constScanLine(y));
        const auto *r = reinterpret_cast<const QRgb *>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x)
            count += l[x] != r[x];
    }
    return 100.0 * double(count) / (double(left.width()) * left.height());
}

} // namespace

class TestLivePaint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void sameLookFromPictures_data();
    void sameLookFromPictures();
    void frameRepaintsOnlyWhatChanged();
    void fieldWithFocusPaintsItself();
    void countersHeldWhereTheLayoutPutsThem();
    void flashedLampLooksAsQLabelScalesIt();

private:
    void show(MainWindow &window, const QSize &size);
    QTemporaryDir m_settingsDir;
    MainWindow::Options m_options;
};

void TestLivePaint::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    m_options.protocolDirectory = QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
    m_options.virtualPorts = {QStringLiteral("/tmp/cs-test-a")};
}

void TestLivePaint::cleanup()
{
    WidgetBackdrop::setEnabled(true);
}

void TestLivePaint::show(MainWindow &window, const QSize &size)
{
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.updateUIFields(window.currentProtocolConfig()->defaultCommand(), readings(window, 3300));
    // Once painted, each field takes its picture and turns opaque.
    const QList<QLineEdit *> fields = valueFields(window);
    QTRY_VERIFY(std::all_of(fields.begin(), fields.end(), [](QLineEdit *field) {
        return !field->isVisible() || field->testAttribute(Qt::WA_OpaquePaintEvent);
    }));
}

void TestLivePaint::sameLookFromPictures_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("tallCell"); // mV of cell 16, whose bar reaches into the legend
    const QList<QPair<int, const char *>> languages = {
            {Chinese, "zh"}, {English, "en"}, {German, "de"}};
    for (const auto &[language, name] : languages) {
        QTest::addRow("%s values page", name) << language << QSize(1280, 800) << 0;
        QTest::addRow("%s chart page", name) << language << QSize(1600, 900) << 0;
    }
    QTest::addRow("chart page, a bar under the legend") << int(English) << QSize(1600, 900) << 4950;
}

void TestLivePaint::sameLookFromPictures()
{
    QFETCH(int, language);
    QFETCH(QSize, size);
    QFETCH(int, tallCell);
    MainWindow window(m_options);
    window.applyLanguage(language);
    show(window, size);
    if (tallCell) {
        QVariantHash values = readings(window, 3300);
        values[QStringLiteral("Vcell16")] = tallCell;
        window.updateUIFields(window.currentProtocolConfig()->defaultCommand(), values);
        QCOMPARE(window.voltageChart()->cellVoltages().last(), double(tallCell));
    }
    const bool chartShown = size.width() > 1500;
    QCOMPARE(window.voltageChart()->isVisible(), chartShown);
    if (chartShown)
        QTRY_VERIFY(window.voltageChart()->testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage fromPictures = window.grab().toImage();

    WidgetBackdrop::setEnabled(false);
    QVERIFY(!valueFields(window).first()->testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage asQtPaints = window.grab().toImage();
    QCOMPARE(differing(fromPictures, asQtPaints), 0.0);
}

void TestLivePaint::frameRepaintsOnlyWhatChanged()
{
    MainWindow window(m_options);
    show(window, QSize(1600, 900));
    QTRY_VERIFY(window.voltageChart()->testAttribute(Qt::WA_OpaquePaintEvent));
    // The about button is placed 100 ms after start-up, which repaints what it leaves: let that
    // pass on a busy machine too.
    QTest::qWait(400);

    PaintCounter counter;
    const QList<QLineEdit *> fields = valueFields(window);
    for (QLineEdit *field : fields)
        counter.watch(field);
    for (QGroupBox *group : window.findChildren<QGroupBox *>())
        counter.watch(group);
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->objectName().startsWith(QLatin1String("statu_")))
            counter.watch(label);
    }
    counter.watch(window.voltageChart());
    counter.watch(window.centralWidget());

    // The same readings again: nothing to repaint.
    const QString command = window.currentProtocolConfig()->defaultCommand();
    window.updateUIFields(command, readings(window, 3300));
    QTest::qWait(100);
    QVERIFY2(counter.total() == 0, qPrintable(counter.painted()));

    // One reading changes: its field alone is painted, not what lies beneath it.
    QVariantHash values = readings(window, 3300);
    QLineEdit *changed = nullptr;
    for (const DataSegment &segment : window.currentProtocolConfig()->dataSegments(command)) {
        changed = segment.uiField.isEmpty() ? nullptr
                                            : window.findChild<QLineEdit *>(segment.uiField);
        if (changed && changed->isVisible()) { // the cells' page is hidden behind the chart
            values[segment.name] = 1234;
            break;
        }
    }
    QVERIFY(changed);
    window.updateUIFields(command, values);
    QTRY_COMPARE(counter.paints.value(changed), 1);
    QTest::qWait(50);
    QCOMPARE(counter.total(), 1);
}

void TestLivePaint::fieldWithFocusPaintsItself()
{
    // Focus brings the style sheet's focus frame: QLineEdit paints that itself, over the picture.
    MainWindow window(m_options);
    show(window, QSize(1280, 800));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QLineEdit *field = valueFields(window).first();
    const QRect area(field->mapTo(&window, QPoint(0, 0)), field->size());
    const QImage before = window.grab(area).toImage();
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    const QImage focused = window.grab(area).toImage();
    QVERIFY(differing(before, focused) > 1);
    WidgetBackdrop::setEnabled(false);
    QCOMPARE(differing(window.grab(area).toImage(), focused), 0.0);
}

void TestLivePaint::countersHeldWhereTheLayoutPutsThem()
{
    // A frame sets the receive counter and time: held at their laid-out size, they stop relayouts,
    // and sit where a layout of the same texts puts them.
    MainWindow window(m_options);
    show(window, QSize(1600, 900));
    Ui::MainWindow *ui = window.form();
    const QList<QLabel *> counters = {ui->com_recvs, ui->com_recvs_time};
    for (int i = 0; i < 3; ++i) {
        window.handleDataReceived(QStringLiteral("~frame"));
        QTest::qWait(150);
    }
    for (QLabel *counter : counters)
        QCOMPARE(counter->minimumSize(), counter->maximumSize());
    // Ten needs more room than nine: let go, laid out again, then held at the new size.
    for (int i = 3; i < 12; ++i) {
        window.handleDataReceived(QStringLiteral("~frame"));
        QTest::qWait(20);
    }
    QTest::qWait(100);
    window.handleDataReceived(QStringLiteral("~frame"));
    QTest::qWait(100);
    QCOMPARE(ui->com_recvs->text(), QStringLiteral("13"));

    MainWindow plain(m_options);
    show(plain, QSize(1600, 900));
    Ui::MainWindow *plainUi = plain.form();
    const QList<QLabel *> plainCounters = {plainUi->com_recvs, plainUi->com_recvs_time};
    for (int i = 0; i < counters.size(); ++i)
        plainCounters[i]->setText(counters[i]->text());
    QTest::qWait(100);
    for (int i = 0; i < counters.size(); ++i)
        QCOMPARE(counters[i]->geometry(), plainCounters[i]->geometry());
}

void TestLivePaint::flashedLampLooksAsQLabelScalesIt()
{
    MainWindow window(m_options);
    show(window, QSize(1280, 800));
    QLabel *lamp = window.form()->statu_rx;
    QVERIFY(lamp->hasScaledContents());
    const QString green = QStringLiteral(":/icons/Icon/green_cycle_full.png");
    const QRect area(lamp->mapTo(&window, QPoint(0, 0)), lamp->size());
    window.setupStatusSwitcher(lamp, green, green, 10000);
    QCOMPARE(lamp->pixmap().size(), lamp->size());
    const QImage flashed = window.grab(area).toImage();
    lamp->setPixmap(QPixmap(green));
    QVERIFY(lamp->pixmap().size() != lamp->size());
    QCOMPARE(differing(window.grab(area).toImage(), flashed), 0.0);
}

QTEST_MAIN(TestLivePaint)
#include "tst_livepaint.moc"
