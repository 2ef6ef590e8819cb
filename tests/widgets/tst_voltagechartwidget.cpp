#include "i18n/translations.h"
#include "widgets/voltagechartwidget.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

const QColor PlotBackground(250, 251, 252);
const QColor FrameColor(180, 190, 200);
const QColor NearMaximum(46, 125, 50);
const QColor InBetween(102, 187, 106);
const QColor NearMinimum(129, 199, 132);
const QColor SwatchMaximum(70, 130, 180);
const QColor SwatchAverage(100, 170, 220);
const QColor SwatchMinimum(135, 206, 250);
// White at alpha 230 over the black test canvas, and over the plot background.
const QColor LegendOverBlack(230, 230, 230);
const QColor LegendOverPlot(254, 255, 255);

bool near(const QColor &a, const QColor &b, int tolerance = 4)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
            && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// The near-maximum green, anywhere across its gradient.
bool isDarkGreen(const QColor &c)
{
    return c.red() < 70 && c.green() > 100 && c.blue() < 70;
}

// Paints the widget alone (no window background) onto a canvas of one colour.
QImage paint(VoltageChartWidget &chart, const QSize &size, const QColor &canvas = Qt::white)
{
    chart.resize(size);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(canvas);
    chart.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void fill(VoltageChartWidget &chart, const QList<double> &voltages, double max, double min,
          double avg)
{
    chart.setVoltages(voltages);
    chart.setMaxVoltage(max);
    chart.setMinVoltage(min);
    chart.setAverageVoltage(avg);
}

// Darkest red channel in a rectangle: text shows up as dark pixels on a light ground.
int darkest(const QImage &image, const QRect &area)
{
    int result = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            result = std::min(result, image.pixelColor(x, y).red());
    return result;
}

} // namespace

// At 600 x 200 with four cells: plot 50..579 x 30..149 (PW 530, PH 120), bars 113 wide, gap 15,
// bar i from x = 65 + 128 i, centres at 121, 249, 377, 505.
class TestVoltageChartWidget : public QObject
{
    Q_OBJECT

private slots:
    void plotArea_data();
    void plotArea();
    void barColour_data();
    void barColour();
    void repaintedChartLooksFresh();
    void skippedCellLeavesSlotEmpty_data();
    void skippedCellLeavesSlotEmpty();
    void barHeightIsClampedToPlot_data();
    void barHeightIsClampedToPlot();
    void manyCellsRunPastPlotOnNarrowWidget();
    void legendPresence_data();
    void legendPresence();
    void legendRowsTakeNextFreePosition_data();
    void legendRowsTakeNextFreePosition();
    void legendTextPenComesFromMaximumRow_data();
    void legendTextPenComesFromMaximumRow();
    void noDataShowsOnlyText_data();
    void noDataShowsOnlyText();
    void titleIsTranslatedAndCentred();
    void emptyTranslationFallsBackToChinese();
};

void TestVoltageChartWidget::plotArea_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("frame at the plot's top left") << QPoint(50, 30) << FrameColor;
    QTest::newRow("background inside top left") << QPoint(53, 33) << PlotBackground;
    QTest::newRow("background inside right edge") << QPoint(577, 100) << PlotBackground;
    QTest::newRow("right margin is untouched") << QPoint(583, 100) << QColor(Qt::white);
    QTest::newRow("bottom margin is untouched") << QPoint(53, 153) << QColor(Qt::white);
    QTest::newRow("left margin is untouched") << QPoint(46, 100) << QColor(Qt::white);
}

void TestVoltageChartWidget::plotArea()
{
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    VoltageChartWidget chart;
    fill(chart, {3300, 3300, 3300, 3300}, 0, 0, 0);
    const QImage image = paint(chart, QSize(600, 200));
    const QColor actual = image.pixelColor(point);
    QVERIFY2(near(actual, expected, 2), qPrintable(describe(actual)));
}

void TestVoltageChartWidget::barColour_data()
{
    QTest::addColumn<double>("voltage");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("exactly 0.98 of the maximum")
            << 0.98 * 3500.0 << 3500.0 << 3000.0 << NearMaximum;
    QTest::newRow("just below 0.98 of the maximum")
            << 0.98 * 3500.0 - 0.5 << 3500.0 << 3000.0 << InBetween;
    QTest::newRow("exactly 1.02 of the minimum")
            << 1.02 * 3000.0 << 3500.0 << 3000.0 << NearMinimum;
    QTest::newRow("just above 1.02 of the minimum")
            << 1.02 * 3000.0 + 0.5 << 3500.0 << 3000.0 << InBetween;
    QTest::newRow("near both: maximum wins") << 1.02 * 3250.0 << 3300.0 << 3250.0 << NearMaximum;
    QTest::newRow("no maximum known") << 3300.0 << 0.0 << 0.0 << NearMaximum;
}

void TestVoltageChartWidget::barColour()
{
    QFETCH(double, voltage);
    QFETCH(double, maximum);
    QFETCH(double, minimum);
    QFETCH(QColor, expected);

    VoltageChartWidget chart;
    fill(chart, {3200, voltage, 3200, 3200}, maximum, minimum, 3200);
    const QImage image = paint(chart, QSize(600, 200));
    const QColor actual = image.pixelColor(249, 120);
    QVERIFY2(near(actual, expected), qPrintable(describe(actual)));
}

// Bars are copied from prepared pixmaps: a chart that has been through other sizes, colours and
// packs must paint exactly what a new one does.
void TestVoltageChartWidget::repaintedChartLooksFresh()
{
    struct State
    {
        QList<double> voltages;
        double max, min;
        QSize size;
    };
    const QList<State> states{
            {{3200, 3500, 3000, 3300}, 3500, 3000, QSize(600, 200)},
            {{3200, 3500, 3000, 3300}, 3500, 3000, QSize(900, 200)},
            {{3200, 3500, 3000, 3300}, 3500, 3000, QSize(900, 320)},
            {{3000, 3300, 3200, 3500}, 3500, 3000, QSize(900, 320)},
            {{3400, 3410, 3420}, 3420, 3400, QSize(900, 320)},
            {{3200, 3500, 3000, 3300, 3100, 3150, 3250, 10}, 3500, 3000, QSize(401, 151)},
            {{3200, 3500, 3000, 3300}, 3500, 3000, QSize(600, 200)}};
    VoltageChartWidget reused;
    for (qsizetype i = 0; i < states.size(); ++i) {
        const State &st = states.at(i);
        fill(reused, st.voltages, st.max, st.min, 3250);
        VoltageChartWidget fresh;
        fill(fresh, st.voltages, st.max, st.min, 3250);
        QVERIFY2(paint(reused, st.size) == paint(fresh, st.size), qPrintable(QString::number(i)));
    }
    // Texts are kept laid out: a new font or language must still show.
    QFont serif(QStringLiteral("DejaVu Serif"));
    serif.setItalic(true);
    reused.setFont(serif);
    const TextTranslator english = [](const QString &text) {
        return translateWithUnit(English, text);
    };
    reused.setTranslator(english);
    VoltageChartWidget fresh;
    fresh.setFont(serif);
    fresh.setTranslator(english);
    fill(fresh, states.constLast().voltages, 3500, 3000, 3250);
    QVERIFY(paint(reused, QSize(600, 200)) == paint(fresh, QSize(600, 200)));
}

void TestVoltageChartWidget::skippedCellLeavesSlotEmpty_data()
{
    QTest::addColumn<double>("voltage");

    QTest::newRow("9.9 mV") << 9.9;
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -100.0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
}

void TestVoltageChartWidget::skippedCellLeavesSlotEmpty()
{
    QFETCH(double, voltage);

    VoltageChartWidget chart;
    fill(chart, {3300, voltage, 3300, 3300}, 3300, 3300, 3300);
    const QImage image = paint(chart, QSize(600, 200));

    // The whole column of slot 1 inside the plot shows only background and grid lines.
    for (int y = 32; y <= 147; ++y) {
        for (int x = 195; x <= 303; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 215 || c.green() < 215 || c.blue() < 215)
                QFAIL(qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(describe(c))));
        }
    }
    // No cell number below the empty slot, while its neighbours keep theirs in place.
    QCOMPARE(darkest(image, QRect(QPoint(193, 154), QPoint(305, 173))), 255);
    QVERIFY(darkest(image, QRect(QPoint(65, 154), QPoint(177, 173))) < 200);
    QVERIFY(darkest(image, QRect(QPoint(321, 154), QPoint(433, 173))) < 200);
    QVERIFY(near(image.pixelColor(121, 120), NearMaximum));
    QVERIFY(near(image.pixelColor(377, 120), NearMaximum));
}

void TestVoltageChartWidget::barHeightIsClampedToPlot_data()
{
    QTest::addColumn<double>("voltage");
    QTest::addColumn<bool>("reachesTop");

    QTest::newRow("4900 mV stays below the top") << 4900.0 << false;
    QTest::newRow("5000 mV fills the height") << 5000.0 << true;
    QTest::newRow("6000 mV is clamped") << 6000.0 << true;
}

void TestVoltageChartWidget::barHeightIsClampedToPlot()
{
    QFETCH(double, voltage);
    QFETCH(bool, reachesTop);

    VoltageChartWidget chart;
    fill(chart, {voltage, voltage, voltage, voltage}, 0, 0, 0);
    const QImage image = paint(chart, QSize(600, 200));

    const QColor atTop = image.pixelColor(249, 30);
    if (reachesTop) {
        QVERIFY2(near(atTop, NearMaximum, 6), qPrintable(describe(atTop)));
        // Clamped: nothing of the bar above the plot.
        QCOMPARE(image.pixelColor(249, 27), QColor(Qt::white));
    } else {
        QVERIFY2(near(atTop, FrameColor, 2), qPrintable(describe(atTop)));
    }
    QVERIFY(near(image.pixelColor(249, 140), NearMaximum));
}

void TestVoltageChartWidget::manyCellsRunPastPlotOnNarrowWidget()
{
    // 16 cells at 400 px: bars 20 wide, 8 apart, starting at 58; not clipped to the plot.
    VoltageChartWidget chart;
    QList<double> cells(16, 3300.0);
    fill(chart, cells, 0, 0, 0);
    const QImage image = paint(chart, QSize(400, 200));

    QVERIFY(near(image.pixelColor(68, 120), NearMaximum)); // cell 1
    QVERIFY(near(image.pixelColor(82, 120), PlotBackground)); // gap
    QVERIFY(near(image.pixelColor(96, 120), NearMaximum)); // cell 2
    QVERIFY(isDarkGreen(image.pixelColor(383, 120))); // cell 12, past the plot's right edge
    QVERIFY(isDarkGreen(image.pixelColor(397, 120))); // cell 13, in the right margin
}

void TestVoltageChartWidget::legendPresence_data()
{
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("average");
    QTest::addColumn<bool>("shown");

    QTest::newRow("maximum and minimum") << 3400.0 << 3200.0 << 3300.0 << true;
    QTest::newRow("maximum only") << 3400.0 << 0.0 << 0.0 << true;
    QTest::newRow("minimum only") << 0.0 << 3200.0 << 0.0 << true;
    QTest::newRow("average alone is not enough") << 0.0 << 0.0 << 3300.0 << false;
    QTest::newRow("nothing") << 0.0 << 0.0 << 0.0 << false;
    QTest::newRow("negative extremes") << -1.0 << -1.0 << 3300.0 << false;
}

void TestVoltageChartWidget::legendPresence()
{
    QFETCH(double, maximum);
    QFETCH(double, minimum);
    QFETCH(double, average);
    QFETCH(bool, shown);

    VoltageChartWidget chart;
    fill(chart, {3300, 3300, 3300}, maximum, minimum, average);
    const QImage image = paint(chart, QSize(600, 200), Qt::black);
    const QColor inBox = image.pixelColor(580, 14);
    QVERIFY2(near(inBox, shown ? LegendOverBlack : QColor(Qt::black), 2),
             qPrintable(describe(inBox)));
}

void TestVoltageChartWidget::legendRowsTakeNextFreePosition_data()
{
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("average");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<QColor>("row20");
    QTest::addColumn<QColor>("row40");
    QTest::addColumn<QColor>("row60");

    QTest::newRow("all three") << 3400.0 << 3300.0 << 3200.0 << SwatchMaximum << SwatchAverage
                               << SwatchMinimum;
    QTest::newRow("no maximum") << 0.0 << 3300.0 << 3200.0 << SwatchAverage << SwatchMinimum
                                << LegendOverPlot;
    QTest::newRow("no average") << 3400.0 << 0.0 << 3200.0 << SwatchMaximum << SwatchMinimum
                                << LegendOverPlot;
    QTest::newRow("minimum only") << 0.0 << 0.0 << 3200.0 << SwatchMinimum << LegendOverPlot
                                  << LegendOverPlot;
}

void TestVoltageChartWidget::legendRowsTakeNextFreePosition()
{
    QFETCH(double, maximum);
    QFETCH(double, average);
    QFETCH(double, minimum);
    QFETCH(QColor, row20);
    QFETCH(QColor, row40);
    QFETCH(QColor, row60);

    // Low bars keep the legend rows (which overlap the plot below y = 30) clear.
    VoltageChartWidget chart;
    fill(chart, {1000, 1000}, maximum, minimum, average);
    const QImage image = paint(chart, QSize(600, 200), Qt::black);
    // Swatch interiors at x = W - 143.
    QVERIFY2(near(image.pixelColor(457, 25), row20, 2),
             qPrintable(describe(image.pixelColor(457, 25))));
    QVERIFY2(near(image.pixelColor(457, 45), row40, 2),
             qPrintable(describe(image.pixelColor(457, 45))));
    QVERIFY2(near(image.pixelColor(457, 65), row60, 2),
             qPrintable(describe(image.pixelColor(457, 65))));
}

void TestVoltageChartWidget::legendTextPenComesFromMaximumRow_data()
{
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("averageRowY");
    QTest::addColumn<bool>("darkText");

    QTest::newRow("after the maximum row") << 3400.0 << 40 << true;
    QTest::newRow("without a maximum row") << 0.0 << 20 << false;
}

void TestVoltageChartWidget::legendTextPenComesFromMaximumRow()
{
    QFETCH(double, maximum);
    QFETCH(int, averageRowY);
    QFETCH(bool, darkText);

    VoltageChartWidget chart;
    fill(chart, {1000, 1000}, maximum, 3200, 3300);
    const QImage image = paint(chart, QSize(600, 200));
    const int textDarkness = darkest(image, QRect(470, averageRowY, 110, 14));
    if (darkText)
        QVERIFY2(textDarkness < 110, qPrintable(QString::number(textDarkness)));
    else
        QVERIFY2(textDarkness > 150, qPrintable(QString::number(textDarkness)));
}

void TestVoltageChartWidget::noDataShowsOnlyText_data()
{
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("average");

    QTest::newRow("no values") << 0.0 << 0.0 << 0.0;
    QTest::newRow("stale extremes") << 3400.0 << 3200.0 << 3300.0;
}

void TestVoltageChartWidget::noDataShowsOnlyText()
{
    QFETCH(double, maximum);
    QFETCH(double, minimum);
    QFETCH(double, average);

    VoltageChartWidget chart;
    QStringList asked;
    chart.setTranslator([&asked](const QString &text) {
        asked << text;
        return translateWithUnit(English, text);
    });
    fill(chart, {}, maximum, minimum, average);
    const QImage image = paint(chart, QSize(600, 200));

    QCOMPARE(asked, QStringList{QStringLiteral("无数据")});
    QCOMPARE(image.pixelColor(53, 33), QColor(Qt::white)); // no plot
    QCOMPARE(image.pixelColor(580, 14), QColor(Qt::white)); // no legend
    QCOMPARE(darkest(image, QRect(0, 0, 600, 80)), 255);
    QCOMPARE(darkest(image, QRect(0, 120, 600, 80)), 255);
    const int centre = darkest(image, QRect(250, 85, 100, 30));
    QVERIFY2(centre <= 110, qPrintable(QString::number(centre)));
}

void TestVoltageChartWidget::titleIsTranslatedAndCentred()
{
    VoltageChartWidget chart;
    QHash<QString, QString> answers;
    chart.setTranslator([&answers](const QString &text) {
        const QString result = translateWithUnit(English, text);
        answers.insert(text, result);
        return result;
    });
    fill(chart, QList<double>(16, 3300.0), 0, 0, 0);
    const QImage image = paint(chart, QSize(800, 200));

    const QString key = QStringLiteral("电芯编号 (1-%1)");
    QVERIFY(answers.contains(key));
    const QString title = answers.value(key).arg(16);
    QCOMPARE(title, QStringLiteral("Cell index (1-16)"));

    // Title baseline at H - 5, centred in the widget.
    QFont font = chart.font();
    font.setPointSize(9);
    const int expectedLeft = (800 - QFontMetrics(font).horizontalAdvance(title)) / 2;
    int left = -1;
    for (int x = 0; x < 800 && left < 0; ++x)
        for (int y = 178; y < 200; ++y)
            if (image.pixelColor(x, y).red() < 200) {
                left = x;
                break;
            }
    QVERIFY2(std::abs(left - expectedLeft) <= 3,
             qPrintable(QStringLiteral("left %1, expected %2").arg(left).arg(expectedLeft)));
}

void TestVoltageChartWidget::emptyTranslationFallsBackToChinese()
{
    const QList<double> cells{3300, 3310, 3290, 3305};
    const QRect titleBand(0, 176, 600, 24);

    VoltageChartWidget plain;
    fill(plain, cells, 3310, 3290, 3301);
    const QImage untranslated = paint(plain, QSize(600, 200)).copy(titleBand);

    VoltageChartWidget empty;
    empty.setTranslator([](const QString &) { return QString(); });
    fill(empty, cells, 3310, 3290, 3301);
    QCOMPARE(paint(empty, QSize(600, 200)).copy(titleBand), untranslated);

    VoltageChartWidget english;
    english.setTranslator([](const QString &text) { return translateWithUnit(English, text); });
    fill(english, cells, 3310, 3290, 3301);
    QVERIFY(paint(english, QSize(600, 200)).copy(titleBand) != untranslated);
}

QTEST_MAIN(TestVoltageChartWidget)
#include "tst_voltagechartwidget.moc"
