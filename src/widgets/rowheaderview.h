#pragma once

#include <QHeaderView>

// Row header of a table that grows by appending: its size hint, which Qt measures anew from up to
// 200 section labels after every inserted row, is kept while the labels keep their length.
class RowHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit RowHeaderView(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;

private:
    void keepViewportOpaque();

    // Below this many rows Qt's own measure is cheap and every label is looked at.
    static constexpr int kMeasuredRows = 256;

    mutable QSize m_hint;
    mutable int m_hintDigits = -1;
};
