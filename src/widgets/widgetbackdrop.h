#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

// What a widget's ancestors paint under it, kept as a picture so that the widget can be opaque:
// a repaint of the widget then no longer repaints the style sheet's gradients and frames beneath
// it. The picture is taken from the window, outside any paint, and taken again when the widget
// moves within the window or an ancestor changes size.
//
// The widget's paint asks current() first: with a picture it draws it and then itself; without
// one it paints as usual over its ancestors. While isCapturing() it must paint nothing.
class WidgetBackdrop
{
public:
    explicit WidgetBackdrop(QWidget *widget);
    ~WidgetBackdrop();
    WidgetBackdrop(const WidgetBackdrop &) = delete;
    WidgetBackdrop &operator=(const WidgetBackdrop &) = delete;

    // Off: no pictures, every widget paints over its ancestors as Qt does (to compare the two).
    static void setEnabled(bool enabled);
    static bool isEnabled();

    const QPixmap *current();
    bool isCapturing() const { return m_capturing; }
    // The widget's own look or place changed: it paints over its ancestors until a new capture.
    void invalidate();
    // The widget's rectangle in its window.
    QRect area() const;

    // A picture to paint the given area of the window into at the window's own coordinates,
    // and the area cut out of it again.
    static QPixmap canvas(const QWidget *window, const QRect &area);
    static QPixmap cut(const QPixmap &canvas, const QRect &area);

private:
    QList<int> placement() const;
    void scheduleCapture();
    void capture();

    QPointer<QWidget> m_widget;
    QPixmap m_pixmap;
    QList<int> m_placement;
    bool m_capturing = false;
    bool m_scheduled = false;
    bool m_stale = false;
};
