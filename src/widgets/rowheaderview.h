#pragma once

#include <QHeaderView>

// Row header of a table that grows by appending: its size hint, which Qt measures anew from up to
// 200 section labels after every inserted row, is kept while the labels keep their length; and
// where Qt's private headers are at hand, the positions of appended rows are added on instead of
// Qt counting every row's position again after each append.
class RowHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit RowHeaderView(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    void setModel(QAbstractItemModel *model) override;

protected:
    bool event(QEvent *event) override;

private:
    void noteInsertion(const QModelIndex &parent, int first);
    void extendPositions(int oldCount, int newCount);

    // Whether Qt's section positions were all known when the last insertion began, and where it
    // inserted.
    bool m_positionsKnown = false;
    int m_insertedAt = -1;

    // Below this many rows Qt's own measure, which looks at every label then, costs little.
    static constexpr int kMeasuredRows = 16;

    mutable QSize m_hint;
    mutable int m_hintDigits = -1;
};
