#include "widgets/backdroppainter.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

BackdropPainter::BackdropPainter(QWidget *widget)
    : QObject(widget), m_widget(widget), m_backdrop(widget)
{
    widget->installEventFilter(this);
}

bool BackdropPainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_widget)
        return false;
    switch (event->type()) {
    case QEvent::Paint:
        if (m_backdrop.isCapturing())
            return true;
        if (const QPixmap *under = m_backdrop.current()) {
            QPainter painter(m_widget);
            painter.drawPixmap(0, 0, *under);
            // An opaque widget's style sheet background is no longer drawn for it.
            if (m_widget->testAttribute(Qt::WA_StyledBackground)) {
                QStyleOption option;
                option.initFrom(m_widget);
                m_widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, m_widget);
            }
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ParentChange:
    case QEvent::StyleChange:
        m_backdrop.invalidate();
        break;
    default:
        break;
    }
    return false;
}
