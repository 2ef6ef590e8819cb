#include "trends/trendplot.h"

#include "trends/trendpalette.h"
#include "trends/trendticks.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QColor kBackground(255, 255, 255);
const QColor kPlotBackground(250, 251, 252);
const QColor kGrid(220, 225, 230);
const QColor kFrame(180, 190, 200);
const QColor kAxisText(80, 90, 100);
const QColor kNoData(100, 100, 100);
const QColor kCrosshair(90, 100, 110);
const QColor kMarker(25, 118, 210);
const QColor kMarkerShade(25, 118, 210, 28);
const QColor kBoxFill(33, 150, 243, 40);
const QColor kLabelBackground(255, 255, 255, 235);

// Diverging scale of the heat map: low cells blue, high cells red, the pack mean pale grey.
const QColor kHeatLow(33, 102, 172);
const QColor kHeatMid(247, 247, 247);
const QColor kHeatHigh(178, 24, 43);

constexpr qint64 kMinZoomSpan = 200; // ms
constexpr qint64 kMinShownSpan = 10 * 1000; // a short log is shown over at least this
// Pictures of arriving rows at most this often (ms): a trend of hours gains nothing from every
// frame of a 200 ms poll, and each picture is a full redraw.
constexpr int kRowRepaintInterval = 400;
constexpr int kMaxJoinedGap = 8; // empty pixel columns a curve is drawn across
constexpr int kMarkerGrab = 5;

double niceCeil(double value)
{
    if (!(value > 0))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(value)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * magnitude >= value * (1 - 1e-12))
            return factor * magnitude;
    }
    return 10 * magnitude;
}

QColor mix(const QColor &a, const QColor &b, double t)
{
    return QColor(int(std::lround(a.red() + (b.red() - a.red()) * t)),
                  int(std::lround(a.green() + (b.green() - a.green()) * t)),
                  int(std::lround(a.blue() + (b.blue() - a.blue()) * t)));
}

} // namespace

TrendPlot::TrendPlot(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_repaintTimer.setSingleShot(true);
    connect(&m_repaintTimer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    m_font = font();
    m_font.setPointSize(9);
}

TrendPlot::~TrendPlot() = default;

QSize TrendPlot::sizeHint() const
{
    return QSize(800, 400);
}

QSize TrendPlot::minimumSizeHint() const
{
    return QSize(300, 200);
}

void TrendPlot::setData(TrendData *data)
{
    if (m_data == data)
        return;
    if (m_data)
        disconnect(m_data, nullptr, this, nullptr);
    m_data = data;
    if (data) {
        connect(data, &TrendData::rowsAppended, this, &TrendPlot::onRowsAppended);
        connect(data, &TrendData::seriesChanged, this, &TrendPlot::onSeriesChanged);
    }
    onSeriesChanged();
}

void TrendPlot::setSeries(const QList<int> &series)
{
    if (series == m_series)
        return;
    m_series = series;
    invalidate();
}

void TrendPlot::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    invalidate();
}

void TrendPlot::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
    invalidate();
}

QString TrendPlot::translated(const QString &text) const
{
    if (!m_translator)
        return text;
    const QString result = m_translator(text);
    return result.isEmpty() ? text : result;
}

QString TrendPlot::seriesName(int seriesIndex) const
{
    if (!m_data || seriesIndex < 0 || seriesIndex >= m_data->seriesCount())
        return QString();
    return translated(m_data->series().at(seriesIndex).name);
}

// ---- view ----------------------------------------------------------------------------------

qint64 TrendPlot::minimumSpan() const
{
    return kMinZoomSpan;
}

qint64 TrendPlot::maximumSpan() const
{
    if (!m_data || m_data->rowCount() == 0)
        return kMinShownSpan;
    const qint64 extent = m_data->times().last() - m_data->times().first();
    return qMax(extent, kMinShownSpan) * 3 / 2;
}

void TrendPlot::followNewest()
{
    if (!m_data || m_data->rowCount() == 0)
        return;
    const qint64 first = m_data->times().first();
    const qint64 last = m_data->times().last();
    if (m_showAll) {
        m_t1 = last;
        m_t0 = qMin(first, last - kMinShownSpan);
    } else {
        const qint64 span = qMax(m_t1 - m_t0, minimumSpan());
        m_t1 = last;
        m_t0 = last - span;
    }
}

void TrendPlot::clampView()
{
    if (!m_data || m_data->rowCount() == 0)
        return;
    qint64 span = qBound(minimumSpan(), m_t1 - m_t0, maximumSpan());
    const qint64 first = m_data->times().first();
    const qint64 last = m_data->times().last();
    qint64 t0 = m_t0;
    // Some of the rows stay in view.
    if (t0 + span < first)
        t0 = first - span + span / 10;
    if (t0 > last)
        t0 = last - span / 10;
    m_t0 = t0;
    m_t1 = t0 + span;
}

void TrendPlot::setFollowingState(bool following)
{
    if (following == m_following)
        return;
    m_following = following;
    emit followingChanged(following);
}

void TrendPlot::setFollowing(bool following)
{
    setFollowingState(following);
    if (following) {
        followNewest();
        invalidate();
        emit viewChanged();
    }
}

void TrendPlot::setView(qint64 start, qint64 end)
{
    if (end <= start)
        return;
    m_t0 = start;
    m_t1 = end;
    m_showAll = false;
    clampView();
    if (m_data && m_data->rowCount() > 0 && m_t1 < m_data->times().last())
        setFollowingState(false);
    invalidate();
    emit viewChanged();
}

void TrendPlot::resetView()
{
    m_showAll = true;
    m_fixedRanges.clear();
    setFollowingState(true);
    followNewest();
    invalidate();
    emit viewChanged();
}

void TrendPlot::zoom(double factor, int x)
{
    if (!m_data || m_data->rowCount() == 0 || !(factor > 0))
        return;
    const qint64 span = m_t1 - m_t0;
    const qint64 newSpan =
            qBound(minimumSpan(), qint64(std::llround(double(span) / factor)), maximumSpan());
    const qint64 extent = m_data->times().last() - m_data->times().first();
    if (m_following) {
        m_showAll = newSpan >= qMax(extent, kMinShownSpan);
        m_t1 = m_data->times().last();
        m_t0 = m_t1 - newSpan;
        if (m_showAll)
            followNewest();
    } else {
        const int left = m_plot.isValid() ? m_plot.left() : 0;
        const int width = m_plot.isValid() ? m_plot.width() : qMax(1, this->width());
        const double ratio = qBound(0.0, double(x - left) / qMax(1, width), 1.0);
        const qint64 anchor = m_t0 + qint64(ratio * double(span));
        m_t0 = anchor - qint64(ratio * double(newSpan));
        m_t1 = m_t0 + newSpan;
        m_showAll = false;
        clampView();
    }
    invalidate();
    emit viewChanged();
}

void TrendPlot::pan(int dx)
{
    if (!m_data || m_data->rowCount() == 0 || dx == 0)
        return;
    const int width = m_plot.isValid() ? qMax(1, m_plot.width()) : qMax(1, this->width());
    const qint64 span = m_t1 - m_t0;
    const qint64 shift = qint64(double(dx) * double(span) / width);
    m_t0 -= shift;
    m_t1 -= shift;
    m_showAll = false;
    clampView();
    if (m_following && m_t1 < m_data->times().last())
        setFollowingState(false);
    invalidate();
    emit viewChanged();
}

void TrendPlot::zoomToBox(const QRect &box)
{
    ensureBase();
    const QRect area = box.normalized().intersected(m_plot);
    if (area.width() < 4 || !m_data || m_data->rowCount() == 0)
        return;
    const qint64 t0 = xToTime(area.left());
    const qint64 t1 = xToTime(area.right() + 1);
    if (area.height() >= 4 && m_mode == Mode::Lines) {
        for (const Axis &axis : std::as_const(m_axes)) {
            const double low = yToValue(axis, area.bottom() + 1);
            const double high = yToValue(axis, area.top());
            if (high > low)
                m_fixedRanges.insert(axis.unit, {low, high});
        }
    }
    setView(t0, qMax(t1, t0 + minimumSpan()));
}

void TrendPlot::setMarkersShown(bool shown)
{
    if (shown == m_markersShown)
        return;
    m_markersShown = shown;
    if (shown) {
        const qint64 span = m_t1 - m_t0;
        m_markerA = m_t0 + span / 3;
        m_markerB = m_t0 + 2 * span / 3;
    }
    update();
    emit markersChanged();
}

void TrendPlot::setMarkers(qint64 a, qint64 b)
{
    m_markerA = a;
    m_markerB = b;
    update();
    emit markersChanged();
}

void TrendPlot::setCursorTime(qint64 ms)
{
    const qsizetype row = m_data ? m_data->times().nearest(ms) : -1;
    if (row != m_cursorRow) {
        m_cursorRow = row;
        emit cursorChanged();
    }
    update();
}

void TrendPlot::clearCursor()
{
    if (m_cursorRow < 0)
        return;
    m_cursorRow = -1;
    emit cursorChanged();
    update();
}

int TrendPlot::timeToX(qint64 ms) const
{
    const qint64 span = qMax<qint64>(1, m_t1 - m_t0);
    return m_plot.left() + int(std::floor(double(ms - m_t0) * m_plot.width() / double(span)));
}

qint64 TrendPlot::xToTime(double x) const
{
    const qint64 span = m_t1 - m_t0;
    return m_t0
            + qint64(std::llround((x - m_plot.left()) * double(span) / qMax(1, m_plot.width())));
}

// ---- data changes ----------------------------------------------------------------------------

void TrendPlot::onRowsAppended(qint64 first, qint64 last)
{
    Q_UNUSED(last)
    if (!m_data)
        return;
    if (m_following)
        followNewest();
    else if (m_data->times().at(first) > m_t1)
        return;
    m_stale = true;
    scheduleRowRepaint();
}

void TrendPlot::onSeriesChanged()
{
    m_cursorRow = -1;
    m_series.clear();
    if (!m_data || m_data->rowCount() == 0) {
        m_showAll = true;
        setFollowingState(true);
    }
    if (m_following)
        followNewest();
    emit cursorChanged();
    invalidate();
}

void TrendPlot::invalidate()
{
    // What the user does shows at once.
    m_stale = true;
    update();
}

void TrendPlot::scheduleRowRepaint()
{
    if (!isVisible())
        return;
    const qint64 since = m_sinceRepaint.isValid() ? m_sinceRepaint.elapsed() : kRowRepaintInterval;
    if (since >= kRowRepaintInterval)
        update();
    else if (!m_repaintTimer.isActive())
        m_repaintTimer.start(int(kRowRepaintInterval - since));
}

// ---- layout ----------------------------------------------------------------------------------

QList<TrendPlot::Axis> TrendPlot::axes()
{
    ensureBase();
    return m_axes;
}

QRect TrendPlot::plotArea()
{
    ensureBase();
    return m_plot;
}

double TrendPlot::heatRange()
{
    ensureBase();
    return m_heatRange;
}

QColor TrendPlot::heatColor(double deviation, double range)
{
    if (!std::isfinite(deviation) || !(range > 0))
        return kHeatMid;
    const double t = qBound(-1.0, deviation / range, 1.0);
    return t < 0 ? mix(kHeatMid, kHeatLow, -t) : mix(kHeatMid, kHeatHigh, t);
}

int TrendPlot::axisOf(int seriesIndex) const
{
    for (int a = 0; a < m_axes.size(); ++a) {
        if (m_axes.at(a).series.contains(seriesIndex))
            return a;
    }
    return -1;
}

double TrendPlot::valueToY(const Axis &axis, double value) const
{
    const double span = axis.high - axis.low;
    return m_plot.top() + (m_plot.height() - 1) * (1.0 - (value - axis.low) / span);
}

double TrendPlot::yToValue(const Axis &axis, double y) const
{
    const double span = axis.high - axis.low;
    return axis.low + (1.0 - (y - m_plot.top()) / qMax(1, m_plot.height() - 1)) * span;
}

void TrendPlot::ensureBase()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (!m_stale && m_base.size() == pixels)
        return;
    if (m_following)
        followNewest();
    // Curves of a catalogue since replaced are dropped until the new choice arrives.
    const int count = m_data ? m_data->seriesCount() : 0;
    m_series.removeIf([count](int s) { return s < 0 || s >= count; });
    layoutPlot();
    if (m_data) {
        const int columns = qMax(1, int(std::lround(m_plot.width() * ratio)));
        if (m_mode == Mode::Lines)
            m_data->decimate(m_t0, m_t1, columns, m_series, true, m_decimation);
        else
            m_data->decimate(m_t0, m_t1, columns, m_heatSeries, false, m_decimation);
    } else {
        m_decimation = TrendData::Decimation();
    }
    rangeAxes();
    renderBase();
    m_stale = false;
}

void TrendPlot::layoutPlot()
{
    const QFontMetrics metrics(m_font);
    const int line = metrics.height();
    m_axes.clear();
    m_heatSeries.clear();
    m_heatCells.clear();
    int left = 16;
    int right = 16;
    if (m_mode == Mode::Lines) {
        for (int s : std::as_const(m_series)) {
            if (!m_data || s < 0 || s >= m_data->seriesCount())
                continue;
            const QString unit = m_data->series().at(s).unit;
            auto it = std::find_if(m_axes.begin(), m_axes.end(),
                                   [&unit](const Axis &axis) { return axis.unit == unit; });
            if (it == m_axes.end()) {
                Axis axis;
                axis.unit = unit;
                m_axes.append(axis);
                it = m_axes.end() - 1;
            }
            it->series.append(s);
        }
        const int axisWidth = metrics.horizontalAdvance(QStringLiteral("-00000.00")) + 14;
        if (!m_axes.isEmpty())
            left = axisWidth;
        right += qMax(0, int(m_axes.size()) - 1) * axisWidth;
    } else {
        if (m_data) {
            const QList<TrendSeries> &all = m_data->series();
            for (int s = 0; s < all.size(); ++s) {
                if (all.at(s).group == TrendGroup::Cells) {
                    m_heatSeries.append(s);
                    m_heatCells.append(all.at(s).cell);
                }
            }
            const int mean = m_data->catalogue().indexOf(QStringLiteral("cell_mean"));
            if (m_heatSeries.isEmpty() || mean < 0) {
                m_heatSeries.clear();
                m_heatCells.clear();
            } else {
                m_heatSeries.append(mean);
            }
        }
        left = metrics.horizontalAdvance(QStringLiteral("000")) + 16;
        right = 16 + 14 + 8 + metrics.horizontalAdvance(QStringLiteral("-0000.0")) + 8;
    }
    const int top = line + 12;
    const int bottom = 2 * line + 14;
    m_plot = QRect(left, top, qMax(10, width() - left - right), qMax(10, height() - top - bottom));
    for (int a = 0; a < m_axes.size(); ++a) {
        Axis &axis = m_axes[a];
        axis.right = a > 0;
        const int axisWidth = metrics.horizontalAdvance(QStringLiteral("-00000.00")) + 14;
        axis.x = a == 0 ? m_plot.left() : m_plot.right() + 1 + (a - 1) * axisWidth;
    }
}

void TrendPlot::rangeAxes()
{
    const TrendData::Decimation &d = m_decimation;
    const int n = int(d.series.size());
    if (m_mode == Mode::Lines) {
        for (Axis &axis : m_axes) {
            const auto fixed = m_fixedRanges.constFind(axis.unit);
            if (fixed != m_fixedRanges.constEnd()) {
                axis.low = fixed->first;
                axis.high = fixed->second;
                axis.fixed = true;
                continue;
            }
            double low = std::numeric_limits<double>::infinity();
            double high = -std::numeric_limits<double>::infinity();
            for (int i = 0; i < n; ++i) {
                if (!axis.series.contains(d.series.at(i)))
                    continue;
                if (d.points) {
                    const size_t count = d.times.size();
                    for (size_t k = 0; k < count; ++k) {
                        const double v = d.values[size_t(i) * count + k];
                        if (d.times[k] >= m_t0 && d.times[k] <= m_t1 && std::isfinite(v)) {
                            low = std::min(low, v);
                            high = std::max(high, v);
                        }
                    }
                } else {
                    for (int x = 0; x < d.width; ++x) {
                        const TrendSummary::Entry &e = d.columns[size_t(x) * size_t(n) + size_t(i)];
                        if (e.count) {
                            low = std::min(low, double(e.min));
                            high = std::max(high, double(e.max));
                        }
                    }
                }
            }
            if (!std::isfinite(low)) {
                low = 0;
                high = 1;
            } else if (high - low <= std::fabs(high) * 1e-9) {
                // A flat line sits in the middle of a narrow band around it.
                const double pad = low != 0 ? std::fabs(low) * 0.001 : 1.0;
                low -= pad;
                high += pad;
            } else {
                const double pad = (high - low) * 0.05;
                low -= pad;
                high += pad;
            }
            axis.low = low;
            axis.high = high;
            axis.fixed = false;
        }
        return;
    }

    // Heat map: the largest deviation in view sets the colour scale.
    double largest = 0;
    const int cells = n - 1;
    for (int x = 0; x < d.width && cells > 0; ++x) {
        const TrendSummary::Entry *column = d.columns.data() + size_t(x) * size_t(n);
        const TrendSummary::Entry &mean = column[cells];
        if (!mean.count)
            continue;
        const double packMean = mean.sum / mean.count;
        for (int i = 0; i < cells; ++i) {
            if (column[i].count)
                largest = std::max(largest, std::fabs(column[i].sum / column[i].count - packMean));
        }
    }
    m_heatRange = niceCeil(std::max(largest, 1.0));
}

// ---- painting --------------------------------------------------------------------------------

QSizeF TrendPlot::textSize(const QString &text)
{
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        if (m_texts.size() > 4096)
            m_texts.clear();
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        staticText.prepare(QTransform(), m_font);
        it = m_texts.insert(text, staticText);
    }
    return it->size();
}

void TrendPlot::drawText(QPainter &painter, const QRectF &rect, int flags, const QString &text)
{
    const QSizeF size = textSize(text);
    const QStaticText &staticText = *m_texts.constFind(text);
    qreal x = rect.x();
    if (flags & Qt::AlignRight)
        x = rect.right() - size.width();
    else if (flags & Qt::AlignHCenter)
        x = rect.x() + (rect.width() - size.width()) / 2;
    qreal y = rect.y();
    if (flags & Qt::AlignBottom)
        y = rect.bottom() - size.height();
    else if (flags & Qt::AlignVCenter)
        y = rect.y() + (rect.height() - size.height()) / 2;
    painter.drawStaticText(QPointF(x, y), staticText);
}

void TrendPlot::drawBoxedText(QPainter &painter, const QPointF &anchor, int flags,
                              const QString &text, const QColor &border)
{
    const QSizeF size = textSize(text) + QSizeF(8, 4);
    QPointF topLeft = anchor;
    if (flags & Qt::AlignRight)
        topLeft.rx() -= size.width();
    else if (flags & Qt::AlignHCenter)
        topLeft.rx() -= size.width() / 2;
    if (flags & Qt::AlignBottom)
        topLeft.ry() -= size.height();
    else if (flags & Qt::AlignVCenter)
        topLeft.ry() -= size.height() / 2;
    topLeft.setX(qBound(0.0, topLeft.x(), qMax(0.0, width() - size.width())));
    topLeft.setY(qBound(0.0, topLeft.y(), qMax(0.0, height() - size.height())));
    const QRectF box(topLeft, size);
    painter.fillRect(box, kLabelBackground);
    painter.setPen(border);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(kAxisText.darker(130));
    drawText(painter, box, Qt::AlignCenter, text);
}

void TrendPlot::renderBase()
{
    const qreal ratio = devicePixelRatioF();
    // The same buffer from picture to picture: a fresh one costs its pages again every time.
    if (m_base.size() != size() * ratio || m_base.devicePixelRatio() != ratio) {
        // Opaque: copied onto the window without blending.
        m_base = QImage(size() * ratio, QImage::Format_RGB32);
        m_base.setDevicePixelRatio(ratio);
    }
    m_base.fill(kBackground);
    QPainter painter(&m_base);
    painter.setFont(m_font);
    painter.fillRect(m_plot, kPlotBackground);

    const bool empty = !m_data || m_data->rowCount() == 0;
    if (!empty) {
        renderGrid(painter);
        if (m_mode == Mode::Lines)
            renderCurves(m_base, painter);
        else
            renderHeatMap(painter);
    }
    // Frame, as fills: cheaper than a stroked rectangle.
    const QRect &p = m_plot;
    painter.fillRect(QRect(p.left() - 1, p.top() - 1, p.width() + 2, 1), kFrame);
    painter.fillRect(QRect(p.left() - 1, p.bottom() + 1, p.width() + 2, 1), kFrame);
    painter.fillRect(QRect(p.left() - 1, p.top(), 1, p.height()), kFrame);
    painter.fillRect(QRect(p.right() + 1, p.top(), 1, p.height()), kFrame);
    if (empty) {
        painter.setPen(kNoData);
        drawText(painter, m_plot, Qt::AlignCenter, translated(QStringLiteral("无数据")));
        return;
    }
    renderAxes(painter);
}

void TrendPlot::renderGrid(QPainter &painter)
{
    const QFontMetrics metrics(m_font);
    const auto width = [&metrics](const QString &text) { return metrics.horizontalAdvance(text); };
    m_timeTicks = TrendTicks::timeTicks(m_t0, m_t1, m_plot.width(), width);
    for (const TrendTicks::TimeTick &tick : std::as_const(m_timeTicks)) {
        const int x = timeToX(tick.ms);
        if (x >= m_plot.left() && x <= m_plot.right())
            painter.fillRect(QRect(x, m_plot.top(), 1, m_plot.height()), kGrid);
    }
    if (m_mode == Mode::Lines && !m_axes.isEmpty()) {
        const Axis &axis = m_axes.first();
        const TrendTicks::ValueTicks vt =
                TrendTicks::valueTicks(axis.low, axis.high, m_plot.height(), 2 * metrics.height());
        for (int i = 0; i < vt.count; ++i) {
            const int y = int(std::lround(valueToY(axis, vt.first + i * vt.step)));
            if (y >= m_plot.top() && y <= m_plot.bottom())
                painter.fillRect(QRect(m_plot.left(), y, m_plot.width(), 1), kGrid);
        }
    }
}

void TrendPlot::renderCurves(QImage &image, QPainter &painter)
{
    const TrendData::Decimation &d = m_decimation;
    const int n = int(d.series.size());
    if (n == 0)
        return;
    const qreal ratio = image.devicePixelRatio();

    painter.end();
    const int left = int(std::lround(m_plot.left() * ratio));
    const int top = int(std::lround(m_plot.top() * ratio));
    const int right = left + int(std::lround(m_plot.width() * ratio)) - 1;
    const int height = int(std::lround(m_plot.height() * ratio));
    const int bottom = top + height - 1;
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();

    if (d.points) {
        // Few rows: one-pixel lines through the rows themselves, written straight into the
        // image like the runs below (a painter's lines cost several times more per repaint,
        // and a repaint comes with every row while following).
        auto pixel = [&](int x, int y, QRgb rgb) {
            if (x >= left && x <= right && y >= top && y <= bottom)
                reinterpret_cast<QRgb *>(bits + y * stride)[x] = rgb;
        };
        auto line = [&](int x0, int y0, int x1, int y1, QRgb rgb) {
            // Lines far outside the plot are cut to it first, so the walk stays short.
            if ((x0 < left && x1 < left) || (x0 > right && x1 > right))
                return;
            const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
            const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
            if (dx > 4 * (right - left + 1) || -dy > 4 * (bottom - top + 1)) {
                const double t0 = x0 < left ? double(left - x0) / (x1 - x0) : 0.0;
                const double t1 = x1 > right ? double(right - x0) / (x1 - x0) : 1.0;
                const int nx0 = x0 + int((x1 - x0) * t0), ny0 = y0 + int((y1 - y0) * t0);
                const int nx1 = x0 + int((x1 - x0) * t1), ny1 = y0 + int((y1 - y0) * t1);
                x0 = nx0;
                y0 = qBound(top - 1, ny0, bottom + 1);
                x1 = nx1;
                y1 = qBound(top - 1, ny1, bottom + 1);
            }
            const int ddx = std::abs(x1 - x0), ddy = -std::abs(y1 - y0);
            int error = ddx + ddy;
            for (;;) {
                pixel(x0, y0, rgb);
                if (x0 == x1 && y0 == y1)
                    break;
                const int e2 = 2 * error;
                if (e2 >= ddy) {
                    error += ddy;
                    x0 += sx;
                }
                if (e2 <= ddx) {
                    error += ddx;
                    y0 += sy;
                }
            }
        };
        const size_t count = d.times.size();
        const qint64 span = count > 1 ? d.times.back() - d.times.front() : 0;
        const qint64 joinable = count > 1 ? qMax<qint64>(1, span / qint64(count - 1)) * 10 : 0;
        const double pixelsPerMs = (right - left + 1) / double(qMax<qint64>(1, m_t1 - m_t0));
        for (int i = n - 1; i >= 0; --i) {
            const int axisIndex = axisOf(d.series.at(i));
            if (axisIndex < 0)
                continue;
            const Axis &axis = m_axes.at(axisIndex);
            const QRgb rgb = TrendPalette::color(m_data->series().at(d.series.at(i))).rgb();
            const double scale = (height - 1) / (axis.high - axis.low);
            bool open = false; // a line continues from the previous point
            int px = 0, py = 0;
            for (size_t k = 0; k < count; ++k) {
                const double v = d.values[size_t(i) * count + k];
                if (!std::isfinite(v)) {
                    open = false;
                    continue;
                }
                // Far off values are held near the plot: only the part inside is drawn.
                const double yd = qBound(double(top - height), bottom - (v - axis.low) * scale,
                                         double(bottom + height));
                const int x = left + int(std::floor(double(d.times[k] - m_t0) * pixelsPerMs));
                const int y = int(std::lround(yd));
                const bool joined = open && d.times[k] - d.times[k - 1] <= joinable;
                if (joined) {
                    line(px, py, x, y, rgb);
                } else {
                    // A lone row shows as a small square.
                    for (int oy = -1; oy <= 1; ++oy)
                        for (int ox = -1; ox <= 1; ++ox)
                            pixel(x + ox, y + oy, rgb);
                }
                open = true;
                px = x;
                py = y;
            }
        }
        painter.begin(&image);
        painter.setFont(m_font);
        return;
    }

    // Many rows: per pixel column a run from the lowest to the highest value, joined to the
    // neighbouring column's run, written straight into the image.
    const int columns = qMin(d.width, image.width() - left);
    auto plotPixel = [&](int x, int y, QRgb rgb) {
        if (y >= top && y <= bottom)
            reinterpret_cast<QRgb *>(bits + y * stride)[left + x] = rgb;
    };
    for (int i = n - 1; i >= 0; --i) {
        const int axisIndex = axisOf(d.series.at(i));
        if (axisIndex < 0)
            continue;
        const Axis &axis = m_axes.at(axisIndex);
        const QRgb rgb = TrendPalette::color(m_data->series().at(d.series.at(i))).rgb();
        const double scale = (height - 1) / (axis.high - axis.low);
        auto yOf = [&](double v) { return int(std::lround(bottom - (v - axis.low) * scale)); };
        int previousX = -1;
        int previousTop = 0, previousBottom = 0, previousMean = 0;
        for (int x = 0; x < columns; ++x) {
            const TrendSummary::Entry &e = d.columns[size_t(x) * size_t(n) + size_t(i)];
            if (!e.count)
                continue;
            int runTop = yOf(e.max);
            int runBottom = yOf(e.min);
            const int mean = yOf(e.sum / e.count);
            if (previousX >= 0 && x - previousX == 1) {
                // Overlap the neighbour's run so that the curve has no holes.
                runBottom = std::max(runBottom, previousTop);
                runTop = std::min(runTop, previousBottom);
            } else if (previousX >= 0 && x - previousX <= kMaxJoinedGap) {
                // Across a few empty columns: a straight line between the columns' means.
                const int steps = x - previousX;
                for (int k = 1; k < steps; ++k) {
                    const int y0 = previousMean + (mean - previousMean) * (k - 1) / steps;
                    const int y1 = previousMean + (mean - previousMean) * k / steps;
                    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
                        plotPixel(previousX + k, y, rgb);
                }
                runBottom = std::max(runBottom,
                                     previousMean + (mean - previousMean) * (steps - 1) / steps);
                runTop = std::min(runTop,
                                  previousMean + (mean - previousMean) * (steps - 1) / steps);
            }
            const int from = std::max(runTop, top);
            const int to = std::min(runBottom, bottom);
            for (int y = from; y <= to; ++y)
                reinterpret_cast<QRgb *>(bits + y * stride)[left + x] = rgb;
            previousX = x;
            previousTop = yOf(e.max);
            previousBottom = yOf(e.min);
            previousMean = mean;
        }
    }
    painter.begin(&image);
    painter.setFont(m_font);
}

void TrendPlot::renderHeatMap(QPainter &painter)
{
    const TrendData::Decimation &d = m_decimation;
    const int n = int(d.series.size());
    const int cells = n - 1;
    if (cells <= 0 || d.width <= 0)
        return;
    QImage heat(d.width, cells, QImage::Format_RGB32);
    heat.fill(kPlotBackground);
    // Colours of deviations, in steps of 1/64 of the range.
    QRgb colors[129];
    for (int k = 0; k <= 128; ++k)
        colors[k] = heatColor((k - 64) / 64.0 * m_heatRange, m_heatRange).rgb();
    std::vector<double> held(size_t(cells), std::numeric_limits<double>::quiet_NaN());
    int heldFor = kMaxJoinedGap + 1;
    for (int x = 0; x < d.width; ++x) {
        const TrendSummary::Entry *column = d.columns.data() + size_t(x) * size_t(n);
        const TrendSummary::Entry &mean = column[cells];
        if (mean.count) {
            const double packMean = mean.sum / mean.count;
            for (int i = 0; i < cells; ++i)
                held[size_t(i)] = column[i].count ? column[i].sum / column[i].count - packMean
                                                  : std::numeric_limits<double>::quiet_NaN();
            heldFor = 0;
        } else if (++heldFor > kMaxJoinedGap) {
            continue; // a gap in the log stays empty
        }
        // Columns between rows (zoomed in) keep the colours of the row before.
        for (int i = 0; i < cells; ++i) {
            const double dev = held[size_t(i)];
            if (!std::isfinite(dev))
                continue;
            const int k = qBound(0, int(std::lround(dev / m_heatRange * 64)) + 64, 128);
            reinterpret_cast<QRgb *>(heat.scanLine(i))[x] = colors[k];
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(m_plot), heat);
    painter.restore();
}

void TrendPlot::renderAxes(QPainter &painter)
{
    const QFontMetrics metrics(m_font);
    const int line = metrics.height();

    // Time labels (ticks found by the grid), with the date underneath where the day changes.
    painter.setPen(kAxisText);
    for (const TrendTicks::TimeTick &tick : std::as_const(m_timeTicks)) {
        const int x = timeToX(tick.ms);
        if (x < m_plot.left() || x > m_plot.right())
            continue;
        painter.fillRect(QRect(x, m_plot.bottom() + 1, 1, 4), kFrame);
        const qreal labelWidth = textSize(tick.label).width();
        const qreal lx = qBound(0.0, x - labelWidth / 2, width() - labelWidth);
        drawText(painter, QRectF(lx, m_plot.bottom() + 6, labelWidth, line), Qt::AlignLeft,
                 tick.label);
        // The first label says which day it is, later ones where the day changes.
        const QString &date = tick.date;
        if (!date.isEmpty()) {
            const qreal dateWidth = textSize(date).width();
            const qreal dx = qBound(0.0, x - dateWidth / 2, width() - dateWidth);
            drawText(painter, QRectF(dx, m_plot.bottom() + 6 + line, dateWidth, line),
                     Qt::AlignLeft, date);
        }
    }

    if (m_mode == Mode::Lines) {
        for (const Axis &axis : std::as_const(m_axes)) {
            if (axis.right && axis.x > m_plot.right() + 1)
                painter.fillRect(QRect(axis.x, m_plot.top(), 1, m_plot.height()), kFrame);
            const TrendTicks::ValueTicks vt =
                    TrendTicks::valueTicks(axis.low, axis.high, m_plot.height(), 2 * line);
            painter.setPen(kAxisText);
            for (int i = 0; i < vt.count; ++i) {
                const double value = vt.first + i * vt.step;
                const int y = int(std::lround(valueToY(axis, value)));
                if (y < m_plot.top() || y > m_plot.bottom())
                    continue;
                const QString text = TrendTicks::formatValue(value, vt.decimals);
                if (axis.right) {
                    painter.fillRect(QRect(axis.x, y, 4, 1), kFrame);
                    drawText(painter, QRectF(axis.x + 6, y - line / 2.0, 200, line), Qt::AlignLeft,
                             text);
                } else {
                    painter.fillRect(QRect(axis.x - 4, y, 4, 1), kFrame);
                    drawText(painter, QRectF(0, y - line / 2.0, axis.x - 6, line), Qt::AlignRight,
                             text);
                }
            }
            // The unit over its axis, in the curve's colour when the axis has only one.
            QColor unitColor = kAxisText;
            if (axis.series.size() == 1 && m_data)
                unitColor = TrendPalette::color(m_data->series().at(axis.series.first()));
            painter.setPen(unitColor);
            const QString unit = axis.unit.isEmpty() ? QStringLiteral("—") : axis.unit;
            const QRectF unitRect =
                    axis.right ? QRectF(axis.x + 6, 4, 200, line) : QRectF(0, 4, axis.x - 6, line);
            drawText(painter, unitRect, axis.right ? Qt::AlignLeft : Qt::AlignRight, unit);
        }
        return;
    }

    // Heat map: cell numbers down the left, the colour scale on the right.
    const int cells = int(m_heatCells.size());
    if (cells == 0)
        return;
    const double band = double(m_plot.height()) / cells;
    const int every = qMax(1, int(std::ceil(line / band)));
    painter.setPen(kAxisText);
    for (int i = 0; i < cells; i += every) {
        const double y = m_plot.top() + (i + 0.5) * band;
        drawText(painter, QRectF(0, y - line / 2.0, m_plot.left() - 6, line), Qt::AlignRight,
                 QString::number(m_heatCells.at(i)));
    }
    drawText(painter, QRectF(0, 4, m_plot.left() + 40, line), Qt::AlignLeft,
             translated(QStringLiteral("各电芯")));

    const int barLeft = m_plot.right() + 17;
    for (int y = m_plot.top(); y <= m_plot.bottom(); ++y) {
        const double t = 1.0 - 2.0 * (y - m_plot.top()) / qMax(1, m_plot.height() - 1);
        painter.fillRect(QRect(barLeft, y, 14, 1), heatColor(t * m_heatRange, m_heatRange));
    }
    painter.setPen(kFrame);
    painter.drawRect(QRect(barLeft - 1, m_plot.top() - 1, 15, m_plot.height() + 1));
    painter.setPen(kAxisText);
    const int decimals = m_heatRange < 1 ? 2 : m_heatRange < 10 ? 1 : 0;
    // The ends of the scale inside the bar's height, clear of the title above it.
    const struct
    {
        double value;
        double top;
    } labels[] = {{m_heatRange, double(m_plot.top())},
                  {0.0, m_plot.center().y() - line / 2.0},
                  {-m_heatRange, double(m_plot.bottom() + 1 - line)}};
    for (const auto &label : labels) {
        const QString text = (label.value > 0 ? QStringLiteral("+") : QString())
                + TrendTicks::formatValue(label.value, decimals);
        drawText(painter, QRectF(barLeft + 18, label.top, 200, line), Qt::AlignLeft, text);
    }
    const QString unit = m_data && !m_heatSeries.isEmpty()
            ? m_data->series().at(m_heatSeries.first()).unit
            : QString();
    const QString title = translated(QStringLiteral("电芯偏差 (%1)").arg(unit));
    drawText(painter, QRectF(0, 4, width() - 6, line), Qt::AlignRight, title);
}

void TrendPlot::renderOverlay(QPainter &painter)
{
    if (!m_data || m_data->rowCount() == 0)
        return;
    const QFontMetrics metrics(m_font);
    painter.setFont(m_font);

    if (m_markersShown) {
        const int xa = timeToX(m_markerA);
        const int xb = timeToX(m_markerB);
        const QRect span = QRect(QPoint(std::min(xa, xb), m_plot.top()),
                                 QPoint(std::max(xa, xb), m_plot.bottom()))
                                   .intersected(m_plot);
        if (span.isValid())
            painter.fillRect(span, kMarkerShade);
        for (const auto &[x, name] : {std::pair<int, QString>{xa, QStringLiteral("A")},
                                      std::pair<int, QString>{xb, QStringLiteral("B")}}) {
            if (x < m_plot.left() || x > m_plot.right())
                continue;
            painter.fillRect(QRect(x, m_plot.top(), 1, m_plot.height()), kMarker);
            drawBoxedText(painter, QPointF(x, m_plot.top() + 2), Qt::AlignHCenter, name, kMarker);
        }
    }

    if (m_drag == Drag::Box && m_box.isValid()) {
        painter.fillRect(m_box, kBoxFill);
        painter.setPen(QPen(kMarker, 1, Qt::DashLine));
        painter.drawRect(m_box.adjusted(0, 0, -1, -1));
    }

    if (m_cursorRow < 0 || m_cursorRow >= m_data->rowCount())
        return;
    const qint64 when = m_data->times().at(m_cursorRow);
    const int x = timeToX(when);
    if (x < m_plot.left() || x > m_plot.right())
        return;
    painter.setPen(QPen(kCrosshair, 1, Qt::DashLine));
    painter.drawLine(x, m_plot.top(), x, m_plot.bottom());
    std::vector<double> values(size_t(m_data->seriesCount()));
    m_data->rowValues(m_cursorRow, values.data());

    if (m_mode == Mode::Lines) {
        painter.setRenderHint(QPainter::Antialiasing);
        for (int s : std::as_const(m_series)) {
            const int a = axisOf(s);
            const double v = values[size_t(s)];
            if (a < 0 || !std::isfinite(v))
                continue;
            const double y = valueToY(m_axes.at(a), v);
            if (y < m_plot.top() || y > m_plot.bottom())
                continue;
            const QColor color = TrendPalette::color(m_data->series().at(s));
            painter.setPen(QPen(Qt::white, 1));
            painter.setBrush(color);
            painter.drawEllipse(QPointF(x + 0.5, y), 3.5, 3.5);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        if (m_mouseInside) {
            const int y = m_mouse.y();
            painter.setPen(QPen(kCrosshair, 1, Qt::DashLine));
            painter.drawLine(m_plot.left(), y, m_plot.right(), y);
            for (const Axis &axis : std::as_const(m_axes)) {
                const TrendTicks::ValueTicks vt = TrendTicks::valueTicks(
                        axis.low, axis.high, m_plot.height(), 2 * metrics.height());
                const QString text = TrendTicks::formatValue(yToValue(axis, y), vt.decimals + 1);
                drawBoxedText(painter, QPointF(axis.right ? axis.x + 2 : axis.x - 2, y),
                              (axis.right ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                              text, kCrosshair);
            }
        }
    } else if (m_mouseInside && !m_heatCells.isEmpty()) {
        const int cells = int(m_heatCells.size());
        const int band = qBound(
                0, int((m_mouse.y() - m_plot.top()) * cells / qMax(1, m_plot.height())), cells - 1);
        const int s = m_heatSeries.at(band);
        const double v = values[size_t(s)];
        const double mean = values[size_t(m_heatSeries.last())];
        const QString unit = m_data->series().at(s).unit;
        const double top = m_plot.top() + double(band) * m_plot.height() / cells;
        const double bottom = m_plot.top() + double(band + 1) * m_plot.height() / cells;
        painter.setPen(QPen(kCrosshair, 1));
        painter.drawRect(QRectF(m_plot.left(), top, m_plot.width() - 1, bottom - top - 1));
        const double deviation = v - mean;
        const QString text = QStringLiteral("%1: %2 %3 (%4%5 %3)")
                                     .arg(seriesName(s), TrendTicks::formatValue(v), unit,
                                          deviation > 0 ? QStringLiteral("+") : QString(),
                                          TrendTicks::formatValue(deviation, 1));
        drawBoxedText(painter, QPointF(m_mouse.x() + 12, m_mouse.y() + 12), Qt::AlignLeft, text,
                      kCrosshair);
    }
    // Inside the plot's foot, leaving the time axis readable.
    drawBoxedText(painter, QPointF(x, m_plot.bottom() - 1), Qt::AlignHCenter | Qt::AlignBottom,
                  TrendTicks::formatTime(when), kCrosshair);
}

void TrendPlot::paintEvent(QPaintEvent *)
{
    ensureBase();
    m_sinceRepaint.start();
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_base);
    renderOverlay(painter);
}

QImage TrendPlot::exportImage()
{
    ensureBase();
    if (m_mode == Mode::HeatMap || m_series.isEmpty() || !m_data)
        return m_base.copy();
    const QFontMetrics metrics(m_font);
    const int line = metrics.height() + 4;
    QStringList names;
    int widest = 0;
    for (int s : std::as_const(m_series)) {
        const TrendSeries &series = m_data->series().at(s);
        const QString name = series.unit.isEmpty()
                ? seriesName(s)
                : QStringLiteral("%1 (%2)").arg(seriesName(s), series.unit);
        names.append(name);
        widest = qMax(widest, metrics.horizontalAdvance(name));
    }
    const int legendWidth = widest + 40;
    const qreal ratio = m_base.devicePixelRatio();
    const int height = qMax(this->height(), int(m_series.size()) * line + 20);
    QImage image(QSize(width() + legendWidth, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(kBackground);
    QPainter painter(&image);
    painter.drawImage(QPoint(0, 0), m_base);
    painter.setFont(m_font);
    int y = m_plot.top();
    for (int i = 0; i < m_series.size(); ++i) {
        const QColor color = TrendPalette::color(m_data->series().at(m_series.at(i)));
        painter.fillRect(QRect(width() + 8, y + line / 2 - 1, 18, 3), color);
        painter.setPen(kAxisText.darker(130));
        drawText(painter, QRectF(width() + 32, y, widest + 8, line),
                 Qt::AlignLeft | Qt::AlignVCenter, names.at(i));
        y += line;
    }
    return image;
}

// ---- events ----------------------------------------------------------------------------------

void TrendPlot::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_stale = true;
}

void TrendPlot::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        m_font = font();
        m_font.setPointSize(9);
        m_texts.clear();
        m_stale = true;
    }
    QWidget::changeEvent(event);
}

void TrendPlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_stale = true;
}

void TrendPlot::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    m_pressPos = pos;
    m_pressT0 = m_t0;
    m_pressT1 = m_t1;
    m_drag = Drag::None;
    if (event->button() == Qt::LeftButton) {
        if (m_markersShown && std::abs(pos.x() - timeToX(m_markerA)) <= kMarkerGrab)
            m_drag = Drag::MarkerA;
        else if (m_markersShown && std::abs(pos.x() - timeToX(m_markerB)) <= kMarkerGrab)
            m_drag = Drag::MarkerB;
        else if (event->modifiers() & Qt::ShiftModifier)
            m_drag = Drag::Box;
        else
            m_drag = Drag::Pan;
    } else if (event->button() == Qt::RightButton) {
        m_drag = Drag::Box;
    }
    if (m_drag == Drag::Box)
        m_box = QRect(pos, QSize(1, 1));
    if (m_drag == Drag::Pan)
        setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void TrendPlot::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    m_mouse = pos;
    m_mouseInside = m_plot.contains(pos);
    switch (m_drag) {
    case Drag::Pan: {
        // Relative to where the drag began, so rounding does not add up.
        const qint64 span = m_pressT1 - m_pressT0;
        const qint64 shift =
                qint64(double(pos.x() - m_pressPos.x()) * double(span) / qMax(1, m_plot.width()));
        m_t0 = m_pressT0 - shift;
        m_t1 = m_pressT1 - shift;
        m_showAll = false;
        clampView();
        if (m_following && m_data && m_data->rowCount() > 0 && m_t1 < m_data->times().last())
            setFollowingState(false);
        invalidate();
        emit viewChanged();
        break;
    }
    case Drag::Box:
        m_box = QRect(m_pressPos, pos).normalized().intersected(m_plot);
        break;
    case Drag::MarkerA:
    case Drag::MarkerB: {
        const qint64 t = xToTime(qBound(m_plot.left(), pos.x(), m_plot.right()));
        if (m_drag == Drag::MarkerA)
            m_markerA = t;
        else
            m_markerB = t;
        emit markersChanged();
        break;
    }
    case Drag::None:
        if (m_markersShown
            && (std::abs(pos.x() - timeToX(m_markerA)) <= kMarkerGrab
                || std::abs(pos.x() - timeToX(m_markerB)) <= kMarkerGrab))
            setCursor(Qt::SizeHorCursor);
        else
            unsetCursor();
        break;
    }
    if (m_mouseInside && m_data)
        setCursorTime(xToTime(pos.x()));
    else
        clearCursor();
    update();
}

void TrendPlot::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event)
    const Drag drag = m_drag;
    m_drag = Drag::None;
    unsetCursor();
    if (drag == Drag::Pan && !m_following && m_data && m_data->rowCount() > 0
        && m_t1 >= m_data->times().last() && m_pressPos != event->position().toPoint()) {
        // Dragged back up to the newest row: follow it again.
        setFollowing(true);
    } else if (drag == Drag::Box) {
        const QRect box = m_box;
        m_box = QRect();
        if (box.width() >= 4)
            zoomToBox(box);
    }
    update();
}

void TrendPlot::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        resetView();
}

void TrendPlot::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoom(std::pow(1.25, steps), int(event->position().x()));
    event->accept();
}

void TrendPlot::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_mouseInside = false;
    if (m_drag == Drag::None)
        clearCursor();
    update();
}
