#include "datalog/adaptiveitemdelegate.h"

#include <QFontMetrics>

namespace {
constexpr int kMargin = 4;
constexpr qreal kMinPointSize = 4.0;
constexpr qreal kPointStep = 0.5;
constexpr int kMinPixelSize = 6;
constexpr int kDefaultPixelSize = 14;
// Fonts kept; past this many (cells of ever new texts) they start again.
constexpr qsizetype kMaxFits = 8192;
} // namespace

AdaptiveItemDelegate::AdaptiveItemDelegate(QObject *parent) : QStyledItemDelegate(parent) { }

QFont AdaptiveItemDelegate::fittedFont(const QFont &font, const QString &text, int cellWidth)
{
    QFont working = font;
    if (cellWidth <= kMargin)
        return working;
    const int available = cellWidth - kMargin;

    if (working.pointSizeF() > 0) {
        qreal size = working.pointSizeF();
        while (QFontMetrics(working).horizontalAdvance(text) > available) {
            if (!(size > kMinPointSize))
                break;
            size -= kPointStep;
            if (size < kMinPointSize)
                break;
            working.setPointSizeF(size);
        }
    } else {
        int size = working.pixelSize() > 0 ? working.pixelSize() : kDefaultPixelSize;
        while (QFontMetrics(working).horizontalAdvance(text) > available) {
            if (size <= kMinPixelSize)
                break;
            --size;
            if (size < kMinPixelSize)
                break;
            working.setPixelSize(size);
        }
    }
    return working;
}

const AdaptiveItemDelegate::Fit &
AdaptiveItemDelegate::fitFor(const QFont &base, const QString &text, int cellWidth) const
{
    if (!(base == m_fitBase) || base.resolveMask() != m_fitBase.resolveMask()) {
        m_fits.clear();
        m_fitBase = base;
    }
    const QPair<int, QString> key(cellWidth, text);
    auto it = m_fits.constFind(key);
    if (it == m_fits.constEnd()) {
        if (m_fits.size() >= kMaxFits)
            m_fits.clear();
        const QFont font = fittedFont(base, text, cellWidth);
        it = m_fits.insert(key, Fit{font, QFontMetrics(font)});
    }
    return *it;
}

void AdaptiveItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    if (opt.text.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const Fit &fit = fitFor(opt.font, opt.text, opt.rect.width());
    opt.font = fit.font;
    opt.fontMetrics = fit.metrics;
    opt.textElideMode = Qt::ElideRight;
    QStyledItemDelegate::paint(painter, opt, index);
}
