#pragma once

#include <QFont>
#include <QStyledItemDelegate>

// Draws a table cell with its font shrunk step by step until the text fits the cell width
// (down to 4 pt or 6 px), eliding on the right whatever still does not fit.
class AdaptiveItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit AdaptiveItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The font paint() draws the text with in a cell of the given width.
    static QFont fittedFont(const QFont &font, const QString &text, int cellWidth);
};
