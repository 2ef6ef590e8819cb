#include "widgets/rowheaderview.h"

#include "widgets/opaqueviewport.h"

#include <QEvent>

#ifdef CELLSCRIBE_HAVE_QT_PRIVATE
#include <QtWidgets/private/qheaderview_p.h>
#endif

namespace {

#ifdef CELLSCRIBE_HAVE_QT_PRIVATE
// Qt does not export the type information of its private classes, which the undefined-behaviour
// sanitizer's check of dynamic types would need here.
#if defined(__clang__)
#define CELLSCRIBE_NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))
#else
#define CELLSCRIBE_NO_VPTR_CHECK
#endif

CELLSCRIBE_NO_VPTR_CHECK QHeaderViewPrivate *privateOf(QHeaderView *header)
{
    return static_cast<QHeaderViewPrivate *>(QObjectPrivate::get(header));
}

CELLSCRIBE_NO_VPTR_CHECK bool positionsKnown(QHeaderView *header)
{
    return !privateOf(header)->sectionStartposRecalc;
}

// Rows appended after rows whose positions are known: each new one starts where the one before
// it ends. Qt would otherwise walk all rows on the next question about a position.
CELLSCRIBE_NO_VPTR_CHECK void appendPositions(QHeaderView *header, int oldCount, int newCount)
{
    QHeaderViewPrivate *d = privateOf(header);
    auto &items = d->sectionItems;
    if (!d->sectionStartposRecalc || items.size() != newCount)
        return;
    for (int i = oldCount; i < newCount; ++i)
        items[i].calculated_startpos = items[i - 1].calculatedEndPos();
    d->sectionStartposRecalc = false;
}
#endif

} // namespace

RowHeaderView::RowHeaderView(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
{
    // Connected before the table's own handler, so that the table finds the positions made.
    connect(this, &QHeaderView::sectionCountChanged, this, &RowHeaderView::extendPositions);
}

void RowHeaderView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = this->model())
        disconnect(old, &QAbstractItemModel::rowsAboutToBeInserted, this,
                   &RowHeaderView::noteInsertion);
    QHeaderView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this,
                &RowHeaderView::noteInsertion);
}

void RowHeaderView::noteInsertion(const QModelIndex &parent, int first)
{
    m_insertedAt = parent.isValid() ? -1 : first;
#ifdef CELLSCRIBE_HAVE_QT_PRIVATE
    m_positionsKnown = positionsKnown(this);
#endif
}

void RowHeaderView::extendPositions(int oldCount, int newCount)
{
    const bool appended = m_positionsKnown && m_insertedAt == oldCount && oldCount > 0
            && newCount > oldCount && !sectionsMoved() && !sectionsHidden();
    m_positionsKnown = false;
    m_insertedAt = -1;
    if (!appended)
        return;
#ifdef CELLSCRIBE_HAVE_QT_PRIVATE
    appendPositions(this, oldCount, newCount);
#endif
}

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
        ::keepViewportOpaque(this);
    return done;
}
