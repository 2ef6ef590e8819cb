#include "widgets/voltagechartwidget.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

void VoltageChartWidget::setVoltages(const QList<double> &list)
{
    voltages = list;
    update();
}

void VoltageChartWidget::setMaxVoltage(double value)
{
    maximum = value;
    update();
}

void VoltageChartWidget::setMinVoltage(double value)
{
    minimum = value;
    update();
}

void VoltageChartWidget::setAverageVoltage(double value)
{
    average = value;
    update();
}

void VoltageChartWidget::setTranslator(const TextTranslator &newTranslator)
{
    translator = newTranslator;
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

QString VoltageChartWidget::translated(const QString &chinese) const
{
    if (!translator)
        return chinese;
    const QString text = translator(chinese);
    return text.isEmpty() ? chinese : text;
}

void VoltageChartWidget::paintEvent(QPaintEvent *)
{
    // Grid, frame and bars are whole-pixel rectangles and lines: antialiasing them changes
    // nothing to see but costs most of a repaint, which comes with every frame. Only the
    // rounded legend box is antialiased.
    QPainter painter(this);

    const int w = width();
    const int h = height();

    if (voltages.isEmpty()) {
        painter.setPen(NoDataColor);
        painter.drawText(rect(), Qt::AlignCenter, translated(QStringLiteral("无数据")));
        return;
    }

    const QRect plot(QPoint(MarginLeft, MarginTop),
                     QPoint(w - MarginRight - 1, h - MarginBottom - 1));
    const int plotWidth = plot.width();
    const int plotHeight = plot.height();
    const int plotBottom = plot.bottom();

    // Background and grid.
    painter.fillRect(plot, PlotBackground);
    painter.setPen(QPen(GridColor, 0)); // cosmetic: one pixel, drawn without stroking
    for (int i = 0; i <= 5; ++i) {
        const int y = plot.top() + i * plotHeight / 5;
        painter.drawLine(plot.left(), y, plot.right(), y);
    }
    painter.setPen(QPen(FrameColor, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);

    // Bars. Wide packs may run past the plot on narrow widgets; bars keep a readable width.
    const int n = int(voltages.size());
    const int barWidth = std::max(20, (plotWidth - 15 * n - 15) / n);
    const int gap = std::max(8, (plotWidth - n * barWidth) / (n + 1));
    const QFont valueFont = sizedFont(font(), 9);
    const QFont cellFont = sizedFont(font(), 8);

    for (int i = 0; i < n; ++i) {
        const double v = voltages.at(i);
        // A non-finite reading has no height to draw; treat it like an absent cell.
        if (!std::isfinite(v) || v < MinimumShownMilliVolts)
            continue;
        const int x = plot.left() + gap + i * (barWidth + gap);
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

        QLinearGradient gradient(x, barTop, x + barWidth, barTop);
        gradient.setColorAt(0.0, color.lighter(120));
        gradient.setColorAt(0.5, color);
        gradient.setColorAt(1.0, color.darker(110));
        painter.setBrush(gradient);
        painter.setPen(QPen(color.darker(130), 0));
        painter.drawRect(QRect(QPoint(x, barTop), QPoint(x + barWidth - 1, plotBottom - 1)));

        painter.setFont(valueFont);
        painter.setPen(ValueLabelColor);
        painter.drawText(QRect(QPoint(x - 15, barTop - 22), QPoint(x + barWidth + 14, barTop - 3)),
                         Qt::AlignCenter, noDecimals(v));

        painter.setFont(cellFont);
        painter.setPen(AxisColor);
        painter.drawText(
                QRect(QPoint(x, plotBottom + 5), QPoint(x + barWidth - 1, plotBottom + 24)),
                Qt::AlignCenter, QString::number(i + 1));
    }
    painter.setBrush(Qt::NoBrush);

    // Axes.
    const QFont axisFont = sizedFont(font(), 9);
    painter.setFont(axisFont);
    painter.setPen(AxisColor);
    for (int i = 0; i <= 5; ++i) {
        const int y = plot.top() + i * plotHeight / 5;
        painter.drawText(QRect(QPoint(5, y - 10), QPoint(44, y + 9)),
                         Qt::AlignRight | Qt::AlignVCenter, noDecimals((5 - i) * 1000.0));
    }
    painter.setFont(sizedFont(font(), 9, true));
    painter.drawText(QPoint(5, 15), QStringLiteral("mV"));

    painter.setFont(axisFont);
    const QString title = translated(QStringLiteral("电芯编号 (1-%1)")).arg(n);
    const int titleWidth = painter.fontMetrics().horizontalAdvance(title);
    painter.drawText(QPoint((w - titleWidth) / 2, h - 5), title);

    // Legend.
    if (maximum > 0 || minimum > 0) {
        painter.setPen(QPen(FrameColor, 1));
        painter.setBrush(LegendBackground);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawRoundedRect(QRect(w - 160, 10, 150, 70), 5, 5);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setFont(sizedFont(font(), 9));

        int y = 20;
        const auto drawRow = [&](const QColor &swatch, const QString &text, double value,
                                 bool setsTextPen) {
            painter.setBrush(swatch);
            painter.drawRect(QRect(QPoint(w - 150, y), QPoint(w - 136, y + 11)));
            if (setsTextPen)
                painter.setPen(LegendTextColor);
            painter.drawText(QPoint(w - 130, y + 10), translated(text).arg(noDecimals(value)));
            y += 20;
        };
        // The text pen is set by the maximum row; without it the rows keep the frame pen.
        if (maximum > 0)
            drawRow(SwatchMaximum, QStringLiteral("最大: %1 mV"), maximum, true);
        if (average > 0)
            drawRow(SwatchAverage, QStringLiteral("平均: %1 mV"), average, false);
        if (minimum > 0)
            drawRow(SwatchMinimum, QStringLiteral("最小: %1 mV"), minimum, false);
    }
}
