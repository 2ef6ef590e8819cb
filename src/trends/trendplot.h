#pragma once

#include "i18n/translations.h"
#include "trends/trenddata.h"
#include "trends/trendticks.h"

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QStaticText>
#include <QTimer>
#include <QWidget>

// The trend plot: the chosen curves over time, or the cells as a heat map of their deviation
// from the pack mean. Time runs along X with clock labels; each unit has its own value axis,
// ranged to the data in view (the first on the left, the others on the right).
//
// Wheel zooms the time, dragging pans, a right drag (or Shift and drag) zooms into a box, a
// double click shows everything again. While it follows the newest rows, the view moves with
// them; panning back pauses that, panning up to the newest row resumes it. The curves are
// drawn from per-pixel summaries into a kept image; the crosshair and markers on top of it.
class TrendPlot : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { Lines, HeatMap };

    struct Axis
    {
        QString unit;
        QList<int> series; // curves drawn against this axis
        double low = 0;
        double high = 1;
        bool fixed = false; // set by a box zoom, else ranged to the data in view
        bool right = false;
        int x = 0; // where the axis line runs
    };

    explicit TrendPlot(QWidget *parent = nullptr);
    ~TrendPlot() override;

    void setData(TrendData *data);
    TrendData *data() const { return m_data; }
    // The curves to draw (indexes into the data's series), in drawing order.
    void setSeries(const QList<int> &series);
    const QList<int> &series() const { return m_series; }
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    void setTranslator(const TextTranslator &translator);

    qint64 viewStart() const { return m_t0; }
    qint64 viewEnd() const { return m_t1; }
    // Shows [start, end]; following stops unless the newest row stays in view.
    void setView(qint64 start, qint64 end);
    bool isFollowing() const { return m_following; }
    void setFollowing(bool following);
    // Everything, following the newest rows, value axes ranged to the data again.
    void resetView();
    // factor > 1 zooms in, around the time at x (at the newest row while following).
    void zoom(double factor, int x);
    // Moves the view by dx pixels: positive shows earlier times.
    void pan(int dx);
    // Zooms into a rectangle of the plot: its times, and its values on every axis.
    void zoomToBox(const QRect &box);

    bool markersShown() const { return m_markersShown; }
    void setMarkersShown(bool shown);
    qint64 markerA() const { return m_markerA; }
    qint64 markerB() const { return m_markerB; }
    void setMarkers(qint64 a, qint64 b);

    // The crosshair, at the row nearest to a time; -1 without one.
    void setCursorTime(qint64 ms);
    void clearCursor();
    qsizetype cursorRow() const { return m_cursorRow; }

    // The layout as drawn next (brought up to date first).
    QList<Axis> axes();
    QRect plotArea();
    // The deviation (in the cells' unit) at the ends of the heat map's colour scale.
    double heatRange();
    static QColor heatColor(double deviation, double range);

    int timeToX(qint64 ms) const;
    qint64 xToTime(double x) const;

    // The plot as shown, without crosshair, with a legend of the curves beside it.
    QImage exportImage();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void followingChanged(bool following);
    void viewChanged();
    void cursorChanged();
    void markersChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    enum class Drag { None, Pan, Box, MarkerA, MarkerB };

    void onRowsAppended(qint64 first, qint64 last);
    void onSeriesChanged();
    void invalidate();
    void scheduleRowRepaint();
    void setFollowingState(bool following);
    void followNewest();
    void clampView();
    qint64 minimumSpan() const;
    qint64 maximumSpan() const;

    void ensureBase();
    void layoutPlot();
    void rangeAxes();
    void renderBase();
    void renderGrid(QPainter &painter);
    void renderCurves(QImage &image, QPainter &painter);
    void renderHeatMap(QPainter &painter);
    void renderAxes(QPainter &painter);
    void renderOverlay(QPainter &painter);
    int axisOf(int seriesIndex) const;
    double valueToY(const Axis &axis, double value) const;
    double yToValue(const Axis &axis, double y) const;
    QString translated(const QString &text) const;
    QString seriesName(int seriesIndex) const;

    void drawText(QPainter &painter, const QRectF &rect, int flags, const QString &text);
    void drawBoxedText(QPainter &painter, const QPointF &anchor, int flags, const QString &text,
                       const QColor &border);
    QSizeF textSize(const QString &text);

    QPointer<TrendData> m_data;
    QList<int> m_series;
    Mode m_mode = Mode::Lines;
    TextTranslator m_translator;

    // View: times shown, following the newest rows, all rows shown.
    qint64 m_t0 = 0;
    qint64 m_t1 = 0;
    bool m_following = true;
    bool m_showAll = true;
    QHash<QString, QPair<double, double>> m_fixedRanges; // by unit, after a box zoom

    bool m_markersShown = false;
    qint64 m_markerA = 0;
    qint64 m_markerB = 0;

    qsizetype m_cursorRow = -1;
    QPoint m_mouse;
    bool m_mouseInside = false;

    Drag m_drag = Drag::None;
    QPoint m_pressPos;
    qint64 m_pressT0 = 0;
    qint64 m_pressT1 = 0;
    QRect m_box;

    // The kept picture and what it was made from.
    bool m_stale = true;
    QImage m_base;
    QRect m_plot;
    QList<Axis> m_axes;
    TrendData::Decimation m_decimation;
    double m_heatRange = 1.0;
    QList<int> m_heatSeries; // cells, then the pack mean
    QList<int> m_heatCells; // cell numbers of the bands, top to bottom
    QList<TrendTicks::TimeTick> m_timeTicks;

    QTimer m_repaintTimer;
    QElapsedTimer m_sinceRepaint;

    QFont m_font;
    QHash<QString, QStaticText> m_texts;
};
