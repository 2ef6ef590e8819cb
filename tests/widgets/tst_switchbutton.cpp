#include "widgets/switchbutton.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const QColor TrackOn(21, 156, 119);
const QColor TrackOff(111, 122, 126);

bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
            && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3, alpha %4)")
            .arg(c.red())
            .arg(c.green())
            .arg(c.blue())
            .arg(c.alpha());
}

// The widget alone on a transparent canvas, so that track alpha can be read back.
QImage paint(SwitchButton &button)
{
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    button.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Shown at its size, so that it has had its first resize.
void showAt(SwitchButton &button, const QSize &size)
{
    button.resize(size);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
}

QTimer *animationTimer(SwitchButton &button)
{
    return button.findChild<QTimer *>();
}

} // namespace

class TestSwitchButton : public QObject
{
    Q_OBJECT

private slots:
    void clickEmitsBeforeKnobMoves_data();
    void clickEmitsBeforeKnobMoves();
    void knobSlidesOneStepPerTick_data();
    void knobSlidesOneStepPerTick();
    void toggleDuringSlideTurnsBack();
    void narrowSwitchStillSettles();
    void endPositionByStyle_data();
    void endPositionByStyle();
    void resizeSnapsKnobToEnd();
    void setCheckedBeforeAndAfterFirstResize_data();
    void setCheckedBeforeAndAfterFirstResize();
    void setCheckedWithCurrentValueEmitsNothing();
    void deferredSetCheckedUsesLastRequest_data();
    void deferredSetCheckedUsesLastRequest();
    void disabledTrackIsTranslucent_data();
    void disabledTrackIsTranslucent();
    void labelOrRingOnlyInsideStyles_data();
    void labelOrRingOnlyInsideStyles();
    void formPropertiesAreReachableByName_data();
    void formPropertiesAreReachableByName();
};

void TestSwitchButton::clickEmitsBeforeKnobMoves_data()
{
    QTest::addColumn<bool>("animation");
    QTest::addColumn<int>("positionAfterClick");

    QTest::newRow("jump") << false << 40;
    QTest::newRow("slide") << true << 0;
}

void TestSwitchButton::clickEmitsBeforeKnobMoves()
{
    QFETCH(bool, animation);
    QFETCH(int, positionAfterClick);

    SwitchButton button;
    button.setAnimation(animation);
    showAt(button, QSize(70, 30));

    QList<int> positionsAtSignal;
    QList<bool> values;
    connect(&button, &SwitchButton::checkedChanged, &button, [&](bool checked) {
        values << checked;
        positionsAtSignal << button.knobPosition();
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(values, QList<bool>{true});
    QCOMPARE(positionsAtSignal, QList<int>{0});
    QVERIFY(button.isChecked());
    QCOMPARE(button.knobPosition(), positionAfterClick);
    QCOMPARE(animationTimer(button)->isActive(), animation);

    QTest::mouseClick(&button, Qt::RightButton);
    QCOMPARE(values, (QList<bool>{true, false}));
}

void TestSwitchButton::knobSlidesOneStepPerTick_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QList<int>>("positions");

    QTest::newRow("switching on") << true << QList<int>{10, 20, 30, 40};
    QTest::newRow("switching off") << false << QList<int>{30, 20, 10, 0};
}

void TestSwitchButton::knobSlidesOneStepPerTick()
{
    QFETCH(bool, on);
    QFETCH(QList<int>, positions);

    SwitchButton button;
    button.setShowText(false);
    button.setAnimation(true);
    showAt(button, QSize(70, 30));
    if (!on) {
        button.setAnimation(false);
        button.change();
        QCOMPARE(button.knobPosition(), 40);
        button.setAnimation(true);
    }

    button.change();
    QCOMPARE(button.isChecked(), on);
    const QColor track = on ? TrackOn : TrackOff;
    QTimer *timer = animationTimer(button);
    for (int expected : positions) {
        QVERIFY(timer->isActive());
        button.updateValue();
        QCOMPARE(button.knobPosition(), expected);
        // Knob of diameter 26 from x + 2: white at its centre, track just left of it.
        const QImage image = paint(button);
        const QColor centre = image.pixelColor(expected + 15, 15);
        const QColor beside = image.pixelColor(expected + 1, 15);
        QVERIFY2(near(centre, Qt::white), qPrintable(describe(centre)));
        QVERIFY2(near(beside, track), qPrintable(describe(beside)));
    }
    // Settled on the target: the next tick stops the timer.
    QVERIFY(timer->isActive());
    button.updateValue();
    QVERIFY(!timer->isActive());
    QCOMPARE(button.knobPosition(), positions.last());
}

void TestSwitchButton::toggleDuringSlideTurnsBack()
{
    SwitchButton button;
    button.setAnimation(true);
    showAt(button, QSize(70, 30));

    button.change();
    button.updateValue();
    button.updateValue();
    QCOMPARE(button.knobPosition(), 20);

    button.change();
    QVERIFY(!button.isChecked());
    QVERIFY(animationTimer(button)->isActive());
    button.updateValue();
    QCOMPARE(button.knobPosition(), 10);
    button.updateValue();
    QCOMPARE(button.knobPosition(), 0);
    button.updateValue();
    QVERIFY(!animationTimer(button)->isActive());
}

void TestSwitchButton::narrowSwitchStillSettles()
{
    // Narrower than 7 px the step is 0; the slide must still reach its end.
    SwitchButton button;
    button.setButtonStyle(SwitchButton::ButtonStyle_Rect);
    button.setAnimation(true);
    showAt(button, QSize(6, 5));
    button.change();
    for (int tick = 0; tick < 20 && animationTimer(button)->isActive(); ++tick)
        button.updateValue();
    QVERIFY(!animationTimer(button)->isActive());
    QCOMPARE(button.knobPosition(), 3);
}

void TestSwitchButton::endPositionByStyle_data()
{
    QTest::addColumn<SwitchButton::ButtonStyle>("style");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("knobCentreOffset");

    QTest::newRow("rect: half the width") << SwitchButton::ButtonStyle_Rect << 35 << 17;
    QTest::newRow("circle inside: width - height")
            << SwitchButton::ButtonStyle_CircleIn << 40 << 15;
    QTest::newRow("circle outside: width - height")
            << SwitchButton::ButtonStyle_CircleOut << 40 << 15;
}

void TestSwitchButton::endPositionByStyle()
{
    QFETCH(SwitchButton::ButtonStyle, style);
    QFETCH(int, position);
    QFETCH(int, knobCentreOffset);

    SwitchButton button;
    button.setButtonStyle(style);
    button.setShowText(false);
    showAt(button, QSize(70, 30));
    button.change();
    QCOMPARE(button.knobPosition(), position);
    const QColor centre = paint(button).pixelColor(position + knobCentreOffset, 15);
    QVERIFY2(near(centre, Qt::white), qPrintable(describe(centre)));
}

void TestSwitchButton::resizeSnapsKnobToEnd()
{
    SwitchButton button;
    button.setAnimation(true);
    showAt(button, QSize(70, 30));
    button.change();
    button.updateValue();
    QCOMPARE(button.knobPosition(), 10);

    button.resize(100, 30);
    QTRY_COMPARE(button.width(), 100);
    QCOMPARE(button.knobPosition(), 70);

    button.setAnimation(false);
    button.change();
    button.resize(120, 30);
    QTRY_COMPARE(button.width(), 120);
    QCOMPARE(button.knobPosition(), 0);
}

void TestSwitchButton::setCheckedBeforeAndAfterFirstResize_data()
{
    QTest::addColumn<int>("width"); // 0: never resized
    QTest::addColumn<bool>("immediate");

    QTest::newRow("never resized") << 0 << false;
    QTest::newRow("width 40") << 40 << false;
    QTest::newRow("width 49") << 49 << false;
    QTest::newRow("width 50") << 50 << true;
    QTest::newRow("width 70") << 70 << true;
}

void TestSwitchButton::setCheckedBeforeAndAfterFirstResize()
{
    QFETCH(int, width);
    QFETCH(bool, immediate);

    SwitchButton button;
    if (width > 0)
        showAt(button, QSize(width, 30));
    QSignalSpy spy(&button, &SwitchButton::checkedChanged);

    button.setChecked(true);
    if (immediate) {
        QCOMPARE(spy.count(), 1);
    } else {
        QCOMPARE(spy.count(), 0);
        QVERIFY(!button.isChecked());
        QVERIFY(spy.wait(2000));
    }
    QVERIFY(button.isChecked());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
}

void TestSwitchButton::setCheckedWithCurrentValueEmitsNothing()
{
    SwitchButton fresh;
    QSignalSpy freshSpy(&fresh, &SwitchButton::checkedChanged);
    fresh.setChecked(false);
    QTest::qWait(100);
    QCOMPARE(freshSpy.count(), 0);

    SwitchButton shown;
    showAt(shown, QSize(70, 30));
    QSignalSpy spy(&shown, &SwitchButton::checkedChanged);
    shown.setChecked(false);
    QCOMPARE(spy.count(), 0);
    shown.setChecked(true);
    shown.setChecked(true);
    QCOMPARE(spy.count(), 1);
}

void TestSwitchButton::deferredSetCheckedUsesLastRequest_data()
{
    QTest::addColumn<QList<bool>>("requests");
    QTest::addColumn<bool>("final");
    QTest::addColumn<int>("emitted");

    QTest::newRow("on twice") << QList<bool>{true, true} << true << 1;
    QTest::newRow("on then off") << QList<bool>{true, false} << false << 0;
    QTest::newRow("on, off, on") << QList<bool>{true, false, true} << true << 1;
}

void TestSwitchButton::deferredSetCheckedUsesLastRequest()
{
    QFETCH(QList<bool>, requests);
    QFETCH(bool, final);
    QFETCH(int, emitted);

    SwitchButton button;
    QSignalSpy spy(&button, &SwitchButton::checkedChanged);
    for (bool request : requests)
        button.setChecked(request);
    QTest::qWait(200);
    QCOMPARE(button.isChecked(), final);
    QCOMPARE(spy.count(), emitted);
}

void TestSwitchButton::disabledTrackIsTranslucent_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QPoint>("trackPoint");
    QTest::addColumn<QPoint>("knobPoint");
    QTest::addColumn<QColor>("track");

    QTest::newRow("enabled, off") << true << false << QPoint(40, 15) << QPoint(15, 15) << TrackOff;
    QTest::newRow("disabled, off")
            << false << false << QPoint(40, 15) << QPoint(15, 15) << TrackOff;
    QTest::newRow("disabled, on") << false << true << QPoint(30, 15) << QPoint(55, 15) << TrackOn;
}

void TestSwitchButton::disabledTrackIsTranslucent()
{
    QFETCH(bool, enabled);
    QFETCH(bool, checked);
    QFETCH(QPoint, trackPoint);
    QFETCH(QPoint, knobPoint);
    QFETCH(QColor, track);

    SwitchButton button;
    button.setShowText(false);
    button.setShowCircle(true);
    button.setTextColorOff(QColor(255, 0, 0));
    button.setTextColorOn(QColor(255, 0, 0));
    showAt(button, QSize(70, 30));
    if (checked)
        button.change();
    button.setEnabled(enabled);

    const QImage image = paint(button);
    const QColor trackPixel = image.pixelColor(trackPoint);
    QVERIFY2(near(trackPixel, track), qPrintable(describe(trackPixel)));
    QVERIFY2(std::abs(trackPixel.alpha() - (enabled ? 255 : 60)) <= 1,
             qPrintable(describe(trackPixel)));

    const QColor knob = image.pixelColor(knobPoint);
    QCOMPARE(knob, QColor(Qt::white));

    // Ring of diameter 15, top 7, on the side away from the knob: left edge 7 (on), 47 (off).
    const QColor ring = image.pixelColor(checked ? 7 : 47, 14);
    QVERIFY2(ring.red() > 240 && ring.green() < 60 && ring.alpha() > 200,
             qPrintable(describe(ring)));
}

void TestSwitchButton::labelOrRingOnlyInsideStyles_data()
{
    QTest::addColumn<SwitchButton::ButtonStyle>("style");
    QTest::addColumn<bool>("showText");
    QTest::addColumn<bool>("showCircle");
    QTest::addColumn<bool>("marked");

    QTest::newRow("rect, text") << SwitchButton::ButtonStyle_Rect << true << false << true;
    QTest::newRow("rect, ring") << SwitchButton::ButtonStyle_Rect << false << true << true;
    QTest::newRow("circle in, text") << SwitchButton::ButtonStyle_CircleIn << true << false << true;
    QTest::newRow("circle in, ring") << SwitchButton::ButtonStyle_CircleIn << false << true << true;
    QTest::newRow("circle in, neither")
            << SwitchButton::ButtonStyle_CircleIn << false << false << false;
    QTest::newRow("circle out, text")
            << SwitchButton::ButtonStyle_CircleOut << true << false << false;
    QTest::newRow("circle out, ring")
            << SwitchButton::ButtonStyle_CircleOut << false << true << false;
    QTest::newRow("circle out, both")
            << SwitchButton::ButtonStyle_CircleOut << true << true << false;
}

void TestSwitchButton::labelOrRingOnlyInsideStyles()
{
    QFETCH(SwitchButton::ButtonStyle, style);
    QFETCH(bool, showText);
    QFETCH(bool, showCircle);
    QFETCH(bool, marked);

    for (bool on : {false, true}) {
        SwitchButton button;
        button.setButtonStyle(style);
        button.setShowText(showText);
        button.setShowCircle(showCircle);
        button.setTextOff(QStringLiteral("OFF"));
        button.setTextOn(QStringLiteral("ON"));
        button.setTextColorOff(QColor(255, 0, 0));
        button.setTextColorOn(QColor(255, 0, 0));
        showAt(button, QSize(70, 30));
        if (on)
            button.change();

        const QImage image = paint(button);
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 128 && c.red() > 150 && c.green() < 100 && c.blue() < 100)
                    ++red;
            }
        QVERIFY2((red > 0) == marked, qPrintable(QStringLiteral("%1 red pixels").arg(red)));
    }
}

void TestSwitchButton::formPropertiesAreReachableByName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("showCircle") << QByteArray("showCircle") << QVariant(true);
    QTest::newRow("animation") << QByteArray("animation") << QVariant(true);
    QTest::newRow("textOff") << QByteArray("textOff") << QVariant(QStringLiteral("停止"));
    QTest::newRow("textOn") << QByteArray("textOn") << QVariant(QStringLiteral("开始"));
    QTest::newRow("space") << QByteArray("space") << QVariant(4);
    QTest::newRow("bgColorOn") << QByteArray("bgColorOn") << QVariant(QColor(1, 2, 3));
    QTest::newRow("buttonStyle") << QByteArray("buttonStyle")
                                 << QVariant::fromValue(SwitchButton::ButtonStyle_Rect);
}

void TestSwitchButton::formPropertiesAreReachableByName()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, value);

    SwitchButton button;
    QVERIFY(button.setProperty(name.constData(), value));
    QCOMPARE(button.property(name.constData()), value);
}

QTEST_MAIN(TestSwitchButton)
#include "tst_switchbutton.moc"
