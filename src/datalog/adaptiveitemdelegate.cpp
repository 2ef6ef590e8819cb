#include "datalog/adaptiveitemdelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QtMath>

#include <optional>

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

bool AdaptiveItemDelegate::paintPlainText(QPainter *painter, const QStyleOptionViewItem &opt)
{
    // Only a cell of one line of text (wrapped text only where it needs no second line), with
    // nothing else in it.
    constexpr auto kOther =
            QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration;
    const bool wrap = opt.features & QStyleOptionViewItem::WrapText;
    if ((opt.features & kOther) || (opt.state & QStyle::State_Editing)
        || opt.text.contains(QChar::LineSeparator) || opt.text.contains(u'\n'))
        return false;
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, widget) + 1;

    QTextOption textOption;
    textOption.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
    textOption.setTextDirection(opt.direction);
    textOption.setAlignment(QStyle::visualAlignment(opt.direction, opt.displayAlignment));
    QTextLayout layout(opt.text, opt.font);
    layout.setTextOption(textOption);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(opt.rect.width());
    const qreal natural = line.naturalTextWidth();
    // Where the style puts the text: the whole cell, or the text's own box aligned in it.
    QRect textBox = opt.rect;
    if (!opt.showDecorationSelected) {
        const QSize size(qCeil(natural) + 2 * margin, qCeil(line.height()));
        textBox = QStyle::alignedRect(opt.direction, opt.displayAlignment,
                                      size.boundedTo(opt.rect.size()), opt.rect);
    }
    const QRect textRect = textBox.adjusted(margin, 0, -margin, 0);
    // A line taller than the cell, or text that would wrap, is cut by the style's own rules.
    if (line.height() > textRect.height() || (wrap && natural > textRect.width())) {
        layout.endLayout();
        return false;
    }
    line.setLineWidth(textRect.width());
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    // The line's height, not its width, places the text: the line aligns it across.
    const QRect aligned = QStyle::alignedRect(Qt::LayoutDirectionAuto, opt.displayAlignment,
                                              layout.boundingRect().size().toSize(), textRect);
    // Text wider than its room is elided as the style elides it, then laid out again.
    std::optional<QTextLayout> elided;
    if (natural > textRect.width()) {
        if (opt.textElideMode == Qt::ElideNone)
            return false;
        elided.emplace(
                QFontMetrics(opt.font).elidedText(opt.text, opt.textElideMode, textRect.width()),
                opt.font);
        elided->setTextOption(textOption);
        elided->beginLayout();
        QTextLine cut = elided->createLine();
        cut.setLineWidth(textRect.width());
        cut.setPosition(QPointF(0, 0));
        elided->endLayout();
    }

    // The steps of the style's item drawing, with the text laid out once instead of five times.
    painter->save();
    painter->setClipRect(opt.rect);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    QPalette::ColorGroup group =
            opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    painter->setPen(opt.palette.color(group,
                                      opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                         : QPalette::Text));
    (elided ? *elided : layout).draw(painter, QPointF(textRect.x(), aligned.y()));
    if (opt.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(opt);
        focus.rect = style->subElementRect(QStyle::SE_ItemViewItemFocusRect, &opt, widget);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        const QPalette::ColorGroup focusGroup =
                opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        focus.backgroundColor = opt.palette.color(
                focusGroup,
                opt.state & QStyle::State_Selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
    return true;
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
    if (!paintPlainText(painter, opt))
        QStyledItemDelegate::paint(painter, opt, index);
}
