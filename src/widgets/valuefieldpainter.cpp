#include "widgets/valuefieldpainter.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextLayout>

#include <cmath>
#include <limits>

namespace {

// QLineEdit's margin between its contents rectangle and its text line.
constexpr int kHorizontalMargin = 2;

QStyleOptionFrame panelOption(const QLineEdit *field)
{
    // As QLineEdit::initStyleOption fills it.
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->contentsRect();
    option.lineWidth = field->hasFrame()
            ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field)
            : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (field->isReadOnly())
        option.state |= QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    return option;
}

} // namespace

ValueFieldPainter::ValueFieldPainter(QLineEdit *field)
    : QObject(field), m_field(field), m_backdrop(field)
{
    field->installEventFilter(this);
}

bool ValueFieldPainter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field)
        return false;
    switch (event->type()) {
    case QEvent::Paint:
        return paint();
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ParentChange:
    case QEvent::StyleChange:
        m_backdrop.invalidate();
        m_frame = QPixmap();
        m_fontKey.clear();
        break;
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
        m_fontKey.clear();
        m_frame = QPixmap();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::ReadOnlyChange:
    case QEvent::ActivationChange:
        m_frame = QPixmap();
        break;
    default:
        break;
    }
    return false;
}

bool ValueFieldPainter::drawsItself() const
{
    const Qt::Alignment horizontal = m_field->alignment() & Qt::AlignHorizontal_Mask;
    return !m_field->hasFocus() && !m_field->hasSelectedText()
            && m_field->echoMode() == QLineEdit::Normal
            && m_field->layoutDirection() == Qt::LeftToRight
            && (m_field->alignment() & Qt::AlignVertical_Mask & ~Qt::AlignVCenter) == 0
            && (horizontal == Qt::AlignRight || horizontal == Qt::AlignLeft
                || horizontal == Qt::AlignHCenter)
            && (!m_field->text().isEmpty() || m_field->placeholderText().isEmpty());
}

const ValueFieldPainter::Text &ValueFieldPainter::laidOut(const QString &text)
{
    // Readings repeat, and the fields share a font: the texts are kept for all fields (a
    // bounded number), by font and text.
    static QHash<QString, Text> texts;
    const QFont font = m_field->font();
    if (m_fontKey.isEmpty())
        m_fontKey = font.key() + QLatin1Char('\n');
    const QString key = m_fontKey + text;
    auto it = texts.constFind(key);
    if (it != texts.constEnd())
        return *it;
    if (texts.size() >= 2048)
        texts.clear();
    QTextLayout layout(text, font);
    QTextOption option = layout.textOption();
    option.setTextDirection(Qt::LeftToRight);
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QFontMetrics metrics(font);
    Text entry{QStaticText(text), int(std::lround(line.naturalTextWidth())) + 1,
               qMax(metrics.boundingRect(text).height(), metrics.height()),
               int(std::lround(line.ascent())) - metrics.ascent()};
    entry.text.setTextFormat(Qt::PlainText);
    entry.text.prepare(QTransform(), font);
    return *texts.insert(key, entry);
}

void ValueFieldPainter::prepareFrame(const QPixmap &backdrop)
{
    const QStyleOptionFrame option = panelOption(m_field);
    // Drawn where the field sits in its window, as its own paint would draw it.
    const QRect place = m_backdrop.area();
    QPixmap canvas = WidgetBackdrop::canvas(m_field->window(), place);
    QPainter painter(&canvas);
    painter.drawPixmap(place.topLeft(), backdrop);
    painter.translate(place.topLeft());
    m_field->style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, m_field);
    painter.end();
    m_frame = WidgetBackdrop::cut(canvas, place);
    m_contents = m_field->style()
                         ->subElementRect(QStyle::SE_LineEditContents, &option, m_field)
                         .marginsRemoved(m_field->textMargins());
    m_frameBackdrop = backdrop.cacheKey();
    m_frameState = int(option.state);
}

bool ValueFieldPainter::paint()
{
    if (m_backdrop.isCapturing())
        return true;
    const QPixmap *backdrop = m_backdrop.current();
    if (!backdrop)
        return false; // transparent: Qt paints what lies beneath, QLineEdit the rest
    QPainter painter(m_field);
    if (!drawsItself()) {
        painter.drawPixmap(0, 0, *backdrop);
        return false;
    }
    QStyleOption state;
    state.initFrom(m_field);
    const int frameState =
            int(state.state | QStyle::State_Sunken
                | (m_field->isReadOnly() ? QStyle::State_ReadOnly : QStyle::State_None));
    if (m_frame.isNull() || m_frameBackdrop != backdrop->cacheKey() || m_frameState != frameState)
        prepareFrame(*backdrop);
    painter.drawPixmap(0, 0, m_frame);

    const QString text = m_field->text();
    if (text.isEmpty())
        return true;
    const Text &entry = laidOut(text);
    // Placed as QLineEdit::paintEvent places its text line when the text fits.
    const QRect &r = m_contents;
    const int top = r.y() + (r.height() - entry.height + 1) / 2;
    const QRect line(r.x() + kHorizontalMargin, top, r.width() - 2 * kHorizontalMargin,
                     entry.height);
    if (entry.width > line.width()) {
        painter.drawPixmap(0, 0, *backdrop);
        return false;
    }
    int scroll = 0;
    switch (m_field->alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignRight:
        scroll = entry.width - line.width() + 1;
        break;
    case Qt::AlignHCenter:
        scroll = (entry.width - line.width()) / 2;
        break;
    default:
        break;
    }
    const QPoint at = line.topLeft() - QPoint(scroll, entry.ascentShift);
    painter.setClipRect(r);
    painter.setPen(m_field->palette().text().color());
    painter.setFont(m_field->font());
    painter.drawStaticText(at, entry.text);
    return true;
}
