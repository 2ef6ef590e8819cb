#include "widgets/steadytabwidget.h"

#include <QEvent>
#include <QStackedWidget>
#include <QTabBar>

SteadyTabWidget::SteadyTabWidget(QWidget *parent) : QTabWidget(parent) { }

bool SteadyTabWidget::Sizes::operator==(const Sizes &other) const
{
    return size == other.size && tabBar == other.tabBar && pageHint == other.pageHint
            && pageMinimum == other.pageMinimum && leftCorner == other.leftCorner
            && rightCorner == other.rightCorner;
}

SteadyTabWidget::Sizes SteadyTabWidget::currentSizes() const
{
    Sizes sizes;
    sizes.size = size();
    sizes.tabBar = tabBar()->isVisibleTo(this) ? tabBar()->sizeHint() : QSize();
    // The pages' stack is the tab widget's own child; its hints are the largest page's.
    if (const QWidget *page = currentWidget()) {
        if (const QWidget *stack = page->parentWidget()) {
            sizes.pageHint = stack->sizeHint();
            sizes.pageMinimum = stack->minimumSizeHint();
        }
    }
    if (const QWidget *corner = cornerWidget(Qt::TopLeftCorner))
        sizes.leftCorner = corner->sizeHint();
    if (const QWidget *corner = cornerWidget(Qt::TopRightCorner))
        sizes.rightCorner = corner->sizeHint();
    return sizes;
}

bool SteadyTabWidget::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::LayoutRequest:
        if (isVisible()) {
            const Sizes sizes = currentSizes();
            if (m_laidOutValid && sizes == m_laidOut)
                return true;
            m_laidOut = sizes;
            m_laidOutValid = true;
        }
        break;
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
        // Laid out anew by Qt: the next request is compared with what that gives.
        m_laidOutValid = false;
        break;
    default:
        break;
    }
    return QTabWidget::event(event);
}
