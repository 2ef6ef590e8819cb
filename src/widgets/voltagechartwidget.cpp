#include "widgets/voltagechartwidget.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The vertical axis always spans 0 to 5000 mV so that charts of different packs compare.
constexpr double FullScaleMilliVolts = 5000.0;
// Cells below this reading are treated as absent.
constexpr double MinimumShownMilliVolts = 10.0;

constexpr int MarginLeft = 50;
constexpr int MarginTop = 30;
constexpr int MarginRight = 20;
constexpr int MarginBottom = 50;

const QColor PlotBackground(250, 251, 252);
const QColor GridColor(220, 225, 230);
const QColor FrameColor(180, 190, 200);
const QColor AxisColor(80, 90, 100);
const QColor ValueLabelColor(50, 60, 70);
const QColor LegendTextColor(50, 50, 50);
const QColor NoDataColor(100, 100, 100);
const QColor BarNearMaximum(46, 125, 50);
const QColor BarInBetween(102, 187, 106);
const QColor BarNearMinimum(129, 199, 132);
const QColor LegendBackground(255, 255, 255, 230);
const QColor SwatchMaximum(70, 130, 180);
const QColor SwatchAverage(100, 170, 220);
const QColor SwatchMinimum(135, 206, 250);

QFont sizedFont(const QFont &base, int pointSize, bool bold = false)
{
    QFont font(base);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QString noDecimals(double value)
{
    return QString::number(value, 'f', 0);
}

} // namespace

VoltageChartWidget::VoltageChartWidget(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(400, 150);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

// A frame that brings the same readings repaints nothing.
void VoltageChartWidget::setVoltages(const QList<double> &list)
{
    if (list == voltages)
        return;
    voltages = list;
    update();
}

void VoltageChartWidget::setMaxVoltage(double value)
{
    if (value == maximum)
        return;
    maximum = value;
    update();
}

void VoltageChartWidget::setMinVoltage(double value)
{
    if (value == minimum)
        return;
    minimum = value;
    update();
}

void VoltageChartWidget::setAverageVoltage(double value)
{
    if (value == average)
        return;
    average = value;
    update();
}

void VoltageChartWidget::setTranslator(const TextTranslator &newTranslator)
{
    translator = newTranslator;
    staticLayer = QPixmap();
    update();
}

QSize VoltageChartWidget::sizeHint() const
{
    return QSize(600, 200);
}

QSize VoltageChartWidget::minimumSizeHint() const
{
    return QSize(400, 150);
}

QPixmap VoltageChartWidget::barPixmap(const QColor &color, int width, int height)
{
    // A bar's gradient runs across it only: every row is the same, so a filled bar of the plot's
    // height is made once per colour and size and bars are copied from it. Filling gradients
    // afresh was most of a repaint, and a repaint comes with every frame.
    const qreal ratio = devicePixelRatio();
    for (const BarPixmap &cached : std::as_const(bars)) {
        if (cached.color == color && cached.width == width && cached.height == height
            && cached.pixmap.devicePixelRatio() == ratio)
            return cached.pixmap;
    }
    QPixmap pixmap(QSize(width, height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    QPainter painter(&pixmap);
    QLinearGradient gradient(0, 0, width, 0);
    gradient.setColorAt(0.0, color.lighter(120));
    gradient.setColorAt(0.5, color);
    gradient.setColorAt(1.0, color.darker(110));
    painter.fillRect(QRect(0, 0, width, height), gradient);
    painter.end();
    if (bars.size() >= 3) // one per bar colour
        bars.removeFirst();
    bars.append({color, width, height, pixmap});
    return pixmap;
}

bool VoltageChartWidget::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ParentChange:
    case QEvent::StyleChange:
        backdrop.invalidate();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void VoltageChartWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        fontsReady = false;
        staticLayer = QPixmap();
        for (auto &cache : texts)
            cache.clear();
    }
    QWidget::changeEvent(event);
}

void VoltageChartWidget::prepareFonts()
{
    if (fontsReady)
        return;
    fonts[Regular9] = sizedFont(font(), 9);
    fonts[Small8] = sizedFont(font(), 8);
    fonts[Bold9] = sizedFont(font(), 9, true);
    fontsReady = true;
}

const VoltageChartWidget::LaidOutText &VoltageChartWidget::laidOut(TextFont which,
                                                                   const QString &text)
{
    // Laying texts out again on every repaint was most of its cost; readings repeat, so the
    // texts are kept (a bounded number: a reading's text may be new every frame).
    QHash<QString, LaidOutText> &cache = texts[which];
    auto it = cache.find(text);
    if (it == cache.end()) {
        if (cache.size() >= 2048)
            cache.clear();
        // The line's own measures: a fallback font for some characters changes its ascent.
        QTextLayout layout(text, fonts[which]);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(std::numeric_limits<int>::max() / 256);
        layout.endLayout();
        LaidOutText entry{QStaticText(text), line.naturalTextWidth(), line.ascent(), line.height(),
                          QFontMetrics(fonts[which]).horizontalAdvance(text)};
        entry.text.setTextFormat(Qt::PlainText);
        entry.text.prepare(QTransform(), fonts[which]);
        it = cache.insert(text, entry);
    }
    return *it;
}

void VoltageChartWidget::setPainterFont(QPainter &painter, TextFont which)
{
    // A static text is drawn in the painter's font; setting it costs more than the check.
    if (fontInPainter != which)
        painter.setFont(fonts[which]);
    fontInPainter = which;
}

void VoltageChartWidget::drawText(QPainter &painter, TextFont which, const QPoint &baseline,
                                  const QString &text)
{
    const LaidOutText &entry = laidOut(which, text);
    setPainterFont(painter, which);
    painter.drawStaticText(QPointF(baseline.x(), baseline.y() - entry.ascent), entry.text);
}

void VoltageChartWidget::drawText(QPainter &painter, TextFont which, const QRect &rect, int flags,
                                  const QString &text)
{
    // Placed as QPainter::drawText(rect, flags, text) places one line.
    const LaidOutText &entry = laidOut(which, text);
    qreal x = rect.x();
    if (flags & Qt::AlignRight)
        x += rect.width() - entry.width;
    else if (flags & Qt::AlignHCenter)
        x += (rect.width() - entry.width) / 2;
    const qreal y = rect.y() + (rect.height() - entry.height) / 2;
    setPainterFont(painter, which);
    painter.drawStaticText(QPointF(x, y), entry.text);
}

QString VoltageChartWidget::translated(const QString &chinese) const
{
    if (!translator)
        return chinese;
    const QString text = translator(chinese);
    return text.isEmpty() ? chinese : text;
}

VoltageChartWidget::Layout VoltageChartWidget::layoutFor(int cells) const
{
    Layout layout;
    layout.plot = QRect(QPoint(MarginLeft, MarginTop),
                        QPoint(width() - MarginRight - 1, height() - MarginBottom - 1));
    // Wide packs may run past the plot on narrow widgets; bars keep a readable width.
    layout.cells = cells;
    layout.barWidth = std::max(20, (layout.plot.width() - 15 * cells - 15) / cells);
    layout.gap = std::max(8, (layout.plot.width() - cells * layout.barWidth) / (cells + 1));
    return layout;
}

bool VoltageChartWidget::shown(double v)
{
    // A non-finite reading has no height to draw; treat it like an absent cell.
    return std::isfinite(v) && v >= MinimumShownMilliVolts;
}

QRect VoltageChartWidget::legendBox() const
{
    return QRect(width() - 160, 10, 150, 70);
}

void VoltageChartWidget::drawStatic(QPainter &painter, const Layout &layout)
{
    // Everything that stays while the readings change: plot, grid, frame, cell numbers, axis
    // and title. None of it overlaps a bar or a bar's value.
    const qreal hairline = 1.0 / devicePixelRatioF();
    const QRect &plot = layout.plot;
    const int plotHeight = plot.height();
    const int plotBottom = plot.bottom();
    painter.fillRect(plot, PlotBackground);
    for (int i = 0; i <= 5; ++i) {
        const int y = plot.top() + i * plotHeight / 5;
        painter.fillRect(QRectF(plot.left(), y, plot.width(), hairline), GridColor);
    }
    // The frame a two-pixel pen gives around the plot (its outer corners on the left stay
    // open), drawn as fills, which cost a fraction of stroking.
    {
        const int l = plot.left(), t = plot.top(), r = plot.left() + plot.width(),
                  b = plot.top() + plot.height();
        painter.fillRect(QRect(QPoint(l, t - 1), QPoint(r, t)), FrameColor);
        painter.fillRect(QRect(QPoint(l, b - 1), QPoint(r, b)), FrameColor);
        painter.fillRect(QRect(QPoint(l - 1, t), QPoint(l, b - 1)), FrameColor);
        painter.fillRect(QRect(QPoint(r - 1, t - 1), QPoint(r, b)), FrameColor);
    }
    painter.setPen(AxisColor);
    for (int i = 0; i < layout.cells; ++i) {
        if (!shown(voltages.at(i)))
            continue;
        const int x = plot.left() + layout.gap + i * (layout.barWidth + layout.gap);
        drawText(painter, Small8,
                 QRect(QPoint(x, plotBottom + 5), QPoint(x + layout.barWidth - 1, plotBottom + 24)),
                 Qt::AlignCenter, QString::number(i + 1));
    }
    for (int i = 0; i <= 5; ++i) {
        const int y = plot.top() + i * plotHeight / 5;
        drawText(painter, Regular9, QRect(QPoint(5, y - 10), QPoint(44, y + 9)),
                 Qt::AlignRight | Qt::AlignVCenter, noDecimals((5 - i) * 1000.0));
    }
    drawText(painter, Bold9, QPoint(5, 15), QStringLiteral("mV"));
    const QString title = translated(QStringLiteral("电芯编号 (1-%1)")).arg(layout.cells);
    const int titleWidth = laidOut(Regular9, title).advance;
    drawText(painter, Regular9, QPoint((width() - titleWidth) / 2, height() - 5), title);
}

void VoltageChartWidget::drawLegendBox(QPainter &painter)
{
    const int w = width();
    painter.setPen(QPen(FrameColor, 1));
    painter.setBrush(LegendBackground);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawRoundedRect(legendBox(), 5, 5);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The text pen is set after the maximum's swatch; the swatches after it are outlined in it.
    int y = 20;
    const auto swatch = [&](const QColor &color, bool setsTextPen) {
        painter.setBrush(color);
        painter.drawRect(QRect(QPoint(w - 150, y), QPoint(w - 136, y + 11)));
        if (setsTextPen)
            painter.setPen(LegendTextColor);
        y += 20;
    };
    if (maximum > 0)
        swatch(SwatchMaximum, true);
    if (average > 0)
        swatch(SwatchAverage, false);
    if (minimum > 0)
        swatch(SwatchMinimum, false);
}

void VoltageChartWidget::drawLegendTexts(QPainter &painter)
{
    // Without a maximum the rows keep the frame pen.
    painter.setPen(maximum > 0 ? QPen(LegendTextColor) : QPen(FrameColor, 1));
    int y = 20;
    const auto row = [&](const QString &text, double value) {
        drawText(painter, Regular9, QPoint(width() - 130, y + 10),
                 translated(text).arg(noDecimals(value)));
        y += 20;
    };
    if (maximum > 0)
        row(QStringLiteral("最大: %1 mV"), maximum);
    if (average > 0)
        row(QStringLiteral("平均: %1 mV"), average);
    if (minimum > 0)
        row(QStringLiteral("最小: %1 mV"), minimum);
}

void VoltageChartWidget::paintEvent(QPaintEvent *)
{
    // A repaint comes with every frame. Grid, frame and bars are whole-pixel rectangles, drawn
    // as plain fills (lines as fills one device pixel high or wide) without antialiasing, which
    // would change nothing to see; only the rounded legend box is antialiased. What does not
    // change with the readings is kept as a picture over the backdrop.
    if (backdrop.isCapturing())
        return;
    QPainter painter(this);
    const QPixmap *under = backdrop.current();
    if (voltages.isEmpty()) {
        if (under)
            painter.drawPixmap(0, 0, *under);
        painter.setPen(NoDataColor);
        painter.drawText(rect(), Qt::AlignCenter, translated(QStringLiteral("无数据")));
        return;
    }
    const qreal hairline = 1.0 / devicePixelRatioF();
    const Layout layout = layoutFor(int(voltages.size()));
    const QRect &plot = layout.plot;
    const int plotHeight = plot.height();
    const int plotBottom = plot.bottom();
    prepareFonts();

    // Bars first, to know whether one reaches into the legend box.
    struct Bar
    {
        QRect rect;
        QColor color;
        int index;
    };
    QList<Bar> shownBars;
    shownBars.reserve(layout.cells);
    const bool legend = maximum > 0 || minimum > 0;
    bool legendCovered = false;
    const QRect legendArea = legendBox().adjusted(-1, -1, 1, 1);
    for (int i = 0; i < layout.cells; ++i) {
        const double v = voltages.at(i);
        if (!shown(v))
            continue;
        const int x = plot.left() + layout.gap + i * (layout.barWidth + layout.gap);
        const double scaled =
                std::clamp(v / FullScaleMilliVolts * plotHeight, 0.0, double(plotHeight));
        const int barTop = plotBottom - int(scaled);
        QColor color;
        if (v >= 0.98 * maximum)
            color = BarNearMaximum;
        else if (v <= 1.02 * minimum)
            color = BarNearMinimum;
        else
            color = BarInBetween;
        const QRect bar(QPoint(x, barTop), QPoint(x + layout.barWidth - 1, plotBottom - 1));
        if (legend
            && legendArea.intersects(QRect(QPoint(x - 15, barTop - 22),
                                           QPoint(x + layout.barWidth + 14, plotBottom + 1))))
            legendCovered = true;
        shownBars.append({bar, color, i});
    }

    if (under) {
        StaticKey key;
        key.size = size();
        key.backdrop = under->cacheKey();
        key.translatorCall = translated(QStringLiteral("电芯编号 (1-%1)"));
        key.legend = legend && !legendCovered;
        key.rows = (maximum > 0 ? 1 : 0) | (average > 0 ? 2 : 0) | (minimum > 0 ? 4 : 0);
        for (int i = 0; i < layout.cells; ++i)
            key.shownCells.append(shown(voltages.at(i)));
        if (staticLayer.isNull() || !(key == staticKey)) {
            staticLayer = under->copy();
            QPainter layer(&staticLayer);
            fontInPainter = TextFontCount;
            drawStatic(layer, layout);
            if (key.legend)
                drawLegendBox(layer);
            staticKey = key;
        }
        painter.drawPixmap(0, 0, staticLayer);
    } else {
        fontInPainter = TextFontCount;
        drawStatic(painter, layout);
    }
    fontInPainter = TextFontCount;

    for (const Bar &bar : std::as_const(shownBars)) {
        const QRect &r = bar.rect;
        const int x = r.left();
        const int barTop = r.top();
        if (!r.isEmpty())
            painter.drawPixmap(r.topLeft(), barPixmap(bar.color, layout.barWidth, plotHeight),
                               QRect(QPoint(0, 0), r.size() * devicePixelRatio()));
        // The outline a one-pixel pen gives, drawn as fills: a stroked rectangle spans one
        // pixel more than the rectangle.
        const QColor edge = bar.color.darker(130);
        const int right = x + layout.barWidth;
        const qreal tall = plotBottom - barTop + hairline;
        painter.fillRect(QRectF(x, barTop, layout.barWidth + hairline, hairline), edge);
        painter.fillRect(QRectF(x, plotBottom, layout.barWidth + hairline, hairline), edge);
        painter.fillRect(QRectF(x, barTop, hairline, tall), edge);
        painter.fillRect(QRectF(right, barTop, hairline, tall), edge);

        painter.setPen(ValueLabelColor);
        drawText(painter, Regular9,
                 QRect(QPoint(x - 15, barTop - 22), QPoint(x + layout.barWidth + 14, barTop - 3)),
                 Qt::AlignCenter, noDecimals(voltages.at(bar.index)));
    }

    if (legend) {
        if (!under || !staticKey.legend)
            drawLegendBox(painter);
        drawLegendTexts(painter);
    }
}
