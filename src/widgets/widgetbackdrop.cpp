#include "widgets/widgetbackdrop.h"

#include <QTimer>

namespace {

bool g_enabled = true;
QList<WidgetBackdrop *> g_backdrops;

} // namespace

WidgetBackdrop::WidgetBackdrop(QWidget *widget) : m_widget(widget)
{
    g_backdrops.append(this);
}

WidgetBackdrop::~WidgetBackdrop()
{
    g_backdrops.removeOne(this);
}

void WidgetBackdrop::setEnabled(bool enabled)
{
    g_enabled = enabled;
    for (WidgetBackdrop *backdrop : std::as_const(g_backdrops)) {
        backdrop->invalidate();
        if (backdrop->m_widget)
            backdrop->m_widget->update();
    }
}

bool WidgetBackdrop::isEnabled()
{
    return g_enabled;
}

QList<int> WidgetBackdrop::placement() const
{
    // Where the widget sits in its window and the size of everything it lies on: the gradients
    // beneath span their own widget's height.
    QList<int> key;
    const QWidget *window = m_widget->window();
    const QPoint at = m_widget->mapTo(window, QPoint(0, 0));
    key << at.x() << at.y() << m_widget->width() << m_widget->height();
    for (const QWidget *w = m_widget->parentWidget(); w; w = w->parentWidget()) {
        key << w->width() << w->height();
        if (w == window)
            break;
    }
    return key;
}

const QPixmap *WidgetBackdrop::current()
{
    if (!g_enabled)
        return nullptr;
    if (!m_widget || m_pixmap.isNull()) {
        scheduleCapture();
        return nullptr;
    }
    if (placement() != m_placement) {
        // An ancestor moved or changed size since: the widget is opaque and nothing lies under
        // it in this paint, so the old picture stands in until the new one is taken.
        m_stale = true;
        scheduleCapture();
    }
    return &m_pixmap;
}

void WidgetBackdrop::invalidate()
{
    m_pixmap = QPixmap();
    if (m_widget)
        m_widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void WidgetBackdrop::scheduleCapture()
{
    if (m_scheduled || !m_widget)
        return;
    m_scheduled = true;
    // Not from within the paint that noticed: grabbing paints the window again.
    QTimer::singleShot(0, m_widget, [this] { capture(); });
}

QRect WidgetBackdrop::area() const
{
    return QRect(m_widget->mapTo(m_widget->window(), QPoint(0, 0)), m_widget->size());
}

QPixmap WidgetBackdrop::canvas(const QWidget *window, const QRect &area)
{
    // Gradients are computed per device pixel: a picture painted at another place in its
    // device can differ by a shade. This one has the window's origin.
    const qreal ratio = window->devicePixelRatio();
    QPixmap canvas(QSize(area.right() + 1, area.bottom() + 1) * ratio);
    canvas.setDevicePixelRatio(ratio);
    return canvas;
}

QPixmap WidgetBackdrop::cut(const QPixmap &canvas, const QRect &area)
{
    const qreal ratio = canvas.devicePixelRatio();
    QPixmap piece = canvas.copy(QRect(area.topLeft() * ratio, area.size() * ratio));
    piece.setDevicePixelRatio(ratio);
    return piece;
}

void WidgetBackdrop::capture()
{
    m_scheduled = false;
    if (!g_enabled || !m_widget || !m_widget->isVisible())
        return;
    QWidget *window = m_widget->window();
    const QRect place = area();
    QPixmap picture = canvas(window, place);
    m_widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_capturing = true;
    window->render(&picture, place.topLeft(), QRegion(place),
                   QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_capturing = false;
    m_pixmap = cut(picture, place);
    m_placement = placement();
    m_widget->setAttribute(Qt::WA_OpaquePaintEvent, true);
    if (m_stale) {
        m_stale = false;
        m_widget->update();
    }
}
