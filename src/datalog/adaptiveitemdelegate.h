#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QString>
#include <QStyledItemDelegate>

// Draws a table cell with its font shrunk step by step until the text fits the cell width
// (down to 4 pt or 6 px), eliding on the right whatever still does not fit.
//
// The font found for a text and a cell width is kept: a repaint draws cells with the fonts it
// found before instead of measuring every visible cell again.
class AdaptiveItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit AdaptiveItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The font paint() draws the text with in a cell of the given width.
    static QFont fittedFont(const QFont &font, const QString &text, int cellWidth);

    // Fonts found and kept (for tests).
    qsizetype keptFonts() const { return m_fits.size(); }

private:
    struct Fit
    {
        QFont font;
        QFontMetrics metrics;
    };
    const Fit &fitFor(const QFont &base, const QString &text, int cellWidth) const;
    // Draws a cell of plain text as the style does; false (nothing drawn) for any other cell.
    static bool paintPlainText(QPainter *painter, const QStyleOptionViewItem &opt);

    // By cell width and text, for the base font last seen; a new base font starts again.
    mutable QFont m_fitBase;
    mutable QHash<QPair<int, QString>, Fit> m_fits;
};
