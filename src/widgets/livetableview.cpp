#include "widgets/livetableview.h"

#include "widgets/opaqueviewport.h"
#include "widgets/rowheaderview.h"

#include <QEvent>
#include <QScreen>

LiveTableView::LiveTableView(QWidget *parent) : QTableView(parent)
{
    auto *rows = new RowHeaderView(this);
    // The properties Qt's own row header comes with.
    rows->setSectionsClickable(verticalHeader()->sectionsClickable());
    rows->setHighlightSections(verticalHeader()->highlightSections());
    setVerticalHeader(rows);
    // Qt's handler for a changed row count schedules a full layout and repaint; appends are
    // taken here instead (the string form is the only one that names Qt's protected slot).
    disconnect(rows, SIGNAL(sectionCountChanged(int, int)), this, SLOT(rowCountChanged(int, int)));
    connect(rows, &QHeaderView::sectionCountChanged, this, &LiveTableView::onRowCountChanged);
}

QSize LiveTableView::sizeHint() const
{
    const QSize hint = QTableView::sizeHint();
    const QScreen *shown = screen();
    if (!shown)
        return hint;
    return hint.boundedTo(shown->availableSize());
}

void LiveTableView::setModel(QAbstractItemModel *model)
{
    if (QAbstractItemModel *old = this->model())
        disconnect(old, &QAbstractItemModel::rowsInserted, this,
                   &LiveTableView::layOutAppendedRows);
    m_appendedFrom = -1;
    QTableView::setModel(model);
    // After the headers' own handlers, before anyone else's (a scroll to the newest row).
    if (model)
        connect(model, &QAbstractItemModel::rowsInserted, this, &LiveTableView::layOutAppendedRows);
}

void LiveTableView::onRowCountChanged(int oldCount, int newCount)
{
    // Removals, resets and a hidden table take Qt's way: one layout on the next turn.
    if (newCount <= oldCount || oldCount <= 0 || !isVisible()) {
        m_appendedFrom = -1;
        rowCountChanged(oldCount, newCount);
        return;
    }
    // Laid out once the row header has taken the rows in.
    if (m_appendedFrom < 0)
        m_appendedFrom = oldCount;
}

void LiveTableView::layOutAppendedRows()
{
    if (m_appendedFrom < 0)
        return;
    const int first = m_appendedFrom;
    m_appendedFrom = -1;
    const int last = model()->rowCount(rootIndex()) - 1;
    // Scroll range and header sizes now, so that a scroll to the bottom right after the
    // insertion sees the new rows.
    const int offset = verticalHeader()->offset();
    updateGeometries();
    QWidget *port = viewport();
    // A view resting on the last row keeps its rows where they were: if the layout moved them
    // anyway, move the painted pixels along.
    const int moved = offset - verticalHeader()->offset();
    if (moved)
        port->scroll(0, moved);
    if (last < first)
        return;
    const int top = rowViewportPosition(first);
    const int bottom = rowViewportPosition(last) + rowHeight(last);
    if (top < port->height() && bottom > 0)
        port->update(0, top, port->width(), bottom - top);
}

bool LiveTableView::event(QEvent *event)
{
    const bool done = QTableView::event(event);
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        ::keepViewportOpaque(this);
    return done;
}
