#include "widgets/rowheaderview.h"

#include <QEvent>

RowHeaderView::RowHeaderView(QWidget *parent) : QHeaderView(Qt::Vertical, parent) { }

QSize RowHeaderView::sizeHint() const
{
    const int rows = count();
    if (rows < kMeasuredRows)
        return QHeaderView::sizeHint();
    // The labels are row numbers: the widest has as many digits as the row count.
    int digits = 1;
    for (int n = rows; n >= 10; n /= 10)
        ++digits;
    if (digits != m_hintDigits) {
        m_hint = QHeaderView::sizeHint();
        m_hintDigits = digits;
    }
    return m_hint;
}

bool RowHeaderView::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::Polish:
    case QEvent::LanguageChange:
        m_hintDigits = -1;
        break;
    default:
        break;
    }
    const bool done = QHeaderView::event(event);
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        keepViewportOpaque();
    return done;
}

void RowHeaderView::keepViewportOpaque()
{
    // As for the table's own viewport: a transparent one repaints in full on every scroll.
    if (!viewport()->autoFillBackground() && viewport()->palette().base().isOpaque())
        viewport()->setAutoFillBackground(true);
}
