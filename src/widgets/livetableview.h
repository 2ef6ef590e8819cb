#pragma once

#include <QTableView>

// Table view for a log that grows row by row while it is watched. Qt's table lays itself out
// anew and repaints its whole viewport for every inserted row; here a row appended at the end
// only paints where it shows, and following the newest row scrolls the painted rows instead of
// repainting them.
class LiveTableView : public QTableView
{
    Q_OBJECT

public:
    explicit LiveTableView(QWidget *parent = nullptr);

    // Adjusted to the contents up to the screen's size: a log's full height (30 px a row) would
    // only make every layout above the table work anew for each row.
    QSize sizeHint() const override;
    void setModel(QAbstractItemModel *model) override;

protected:
    bool event(QEvent *event) override;

private:
    void onRowCountChanged(int oldCount, int newCount);
    void layOutAppendedRows();

    // First row of an append not laid out yet, or -1.
    int m_appendedFrom = -1;
};
