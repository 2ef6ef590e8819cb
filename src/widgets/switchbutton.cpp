#include "widgets/switchbutton.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimer>

#include <algorithm>

SwitchButton::SwitchButton(QWidget *parent)
    : QWidget(parent),
      m_textOff(QStringLiteral("关闭")),
      m_textOn(QStringLiteral("开启")),
      m_timer(new QTimer(this))
{
    m_timer->setInterval(30);
    connect(m_timer, &QTimer::timeout, this, &SwitchButton::updateValue);
}

SwitchButton::~SwitchButton()
{
    if (m_timer->isActive())
        m_timer->stop();
}

QSize SwitchButton::sizeHint() const
{
    return QSize(70, 30);
}

QSize SwitchButton::minimumSizeHint() const
{
    return QSize(10, 5);
}

void SwitchButton::setSpace(int space)
{
    if (m_space == space)
        return;
    m_space = space;
    update();
}

void SwitchButton::setRectRadius(int rectRadius)
{
    if (m_rectRadius == rectRadius)
        return;
    m_rectRadius = rectRadius;
    update();
}

void SwitchButton::setChecked(bool checked)
{
    if (m_step != 0) {
        // A deferred request from before the first resize is superseded by this one.
        m_pendingScheduled = false;
        if (checked != m_checked)
            change();
        return;
    }

    // Not laid out yet: switch shortly after, once, to the state asked for last.
    if (checked == m_checked && !m_pendingScheduled)
        return;
    m_pendingChecked = checked;
    if (!m_pendingScheduled) {
        m_pendingScheduled = true;
        QTimer::singleShot(10, this, &SwitchButton::applyPendingCheck);
    }
}

void SwitchButton::applyPendingCheck()
{
    if (!m_pendingScheduled)
        return;
    m_pendingScheduled = false;
    if (m_pendingChecked != m_checked)
        change();
}

void SwitchButton::setShowText(bool showText)
{
    if (m_showText == showText)
        return;
    m_showText = showText;
    update();
}

void SwitchButton::setShowCircle(bool showCircle)
{
    if (m_showCircle == showCircle)
        return;
    m_showCircle = showCircle;
    update();
}

void SwitchButton::setAnimation(bool animation)
{
    if (m_animation == animation)
        return;
    m_animation = animation;
    update();
}

void SwitchButton::setButtonStyle(SwitchButton::ButtonStyle buttonStyle)
{
    if (m_buttonStyle == buttonStyle)
        return;
    m_buttonStyle = buttonStyle;
    update();
}

void SwitchButton::setBgColorOff(const QColor &color)
{
    if (m_bgColorOff == color)
        return;
    m_bgColorOff = color;
    update();
}

void SwitchButton::setBgColorOn(const QColor &color)
{
    if (m_bgColorOn == color)
        return;
    m_bgColorOn = color;
    update();
}

void SwitchButton::setSliderColorOff(const QColor &color)
{
    if (m_sliderColorOff == color)
        return;
    m_sliderColorOff = color;
    update();
}

void SwitchButton::setSliderColorOn(const QColor &color)
{
    if (m_sliderColorOn == color)
        return;
    m_sliderColorOn = color;
    update();
}

void SwitchButton::setTextColorOff(const QColor &color)
{
    if (m_textColorOff == color)
        return;
    m_textColorOff = color;
    update();
}

void SwitchButton::setTextColorOn(const QColor &color)
{
    if (m_textColorOn == color)
        return;
    m_textColorOn = color;
    update();
}

void SwitchButton::setTextOff(const QString &text)
{
    if (m_textOff == text)
        return;
    m_textOff = text;
    update();
}

void SwitchButton::setTextOn(const QString &text)
{
    if (m_textOn == text)
        return;
    m_textOn = text;
    update();
}

int SwitchButton::targetPosition() const
{
    if (!m_checked)
        return 0;
    if (m_buttonStyle == ButtonStyle_Rect)
        return width() - width() / 2;
    return width() - height();
}

void SwitchButton::change()
{
    m_checked = !m_checked;
    emit checkedChanged(m_checked);

    m_step = width() / 7;
    m_target = targetPosition();
    if (m_animation) {
        m_timer->start();
    } else {
        m_position = m_target;
        update();
    }
}

void SwitchButton::updateValue()
{
    // A very narrow switch has a step of 0; move by at least a pixel so the slide ends.
    const int step = std::max(1, m_step);
    if (m_checked && m_position < m_target) {
        m_position += step;
    } else if (!m_checked && m_position > m_target) {
        m_position -= step;
    } else {
        m_position = m_target;
        m_timer->stop();
    }
    update();
}

void SwitchButton::mousePressEvent(QMouseEvent *)
{
    change();
}

void SwitchButton::resizeEvent(QResizeEvent *)
{
    m_step = width() / 50;
    m_target = targetPosition();
    m_position = m_target;
    update();
}

void SwitchButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    painter.save();
    drawTrack(painter);
    painter.restore();

    painter.save();
    drawLabel(painter);
    painter.restore();

    painter.save();
    drawKnob(painter);
    painter.restore();
}

void SwitchButton::drawTrack(QPainter &painter)
{
    const int w = width();
    const int h = height();
    const int m = std::min(w, h);

    QColor color = m_checked ? m_bgColorOn : m_bgColorOff;
    if (!isEnabled())
        color.setAlpha(60);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);

    switch (m_buttonStyle) {
    case ButtonStyle_Rect:
        painter.drawRoundedRect(QRect(0, 0, w, h), m_rectRadius, m_rectRadius);
        break;
    case ButtonStyle_CircleIn: {
        QPainterPath left;
        left.addEllipse(QRectF(0, 0, m, m));
        QPainterPath right;
        right.addEllipse(QRectF(w - m, 0, m, m));
        QPainterPath middle;
        middle.addRect(QRectF(m / 2, 0, w - m, h));
        painter.drawPath(left.united(right).united(middle));
        break;
    }
    case ButtonStyle_CircleOut:
        painter.drawRoundedRect(QRect(h / 2, m_space, w - h, h - 2 * m_space), m_rectRadius,
                                m_rectRadius);
        break;
    }
}

void SwitchButton::drawLabel(QPainter &painter)
{
    if (m_buttonStyle != ButtonStyle_Rect && m_buttonStyle != ButtonStyle_CircleIn)
        return;

    const int w = width();
    const int h = height();
    const int m = std::min(w, h);

    if (m_showText) {
        const int t = m_buttonStyle == ButtonStyle_Rect ? w / 2 - 5 : m - 2 * m_space - 5;
        if (m_checked) {
            painter.setPen(m_textColorOn);
            painter.drawText(QRect(QPoint(0, 0), QPoint(w - t - 1, h - 1)), Qt::AlignCenter,
                             m_textOn);
        } else {
            painter.setPen(m_textColorOff);
            painter.drawText(QRect(QPoint(t, 0), QPoint(w - 1, h - 1)), Qt::AlignCenter, m_textOff);
        }
    } else if (m_showCircle) {
        const int g = m / 2;
        const int top = (h - g) / 2;
        const int left = m_checked ? m / 4 : int(w - 1.5 * g);
        painter.setPen(QPen(m_checked ? m_textColorOn : m_textColorOff, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRect(left, top, g, g));
    }
}

void SwitchButton::drawKnob(QPainter &painter)
{
    const int w = width();
    const int h = height();
    const int m = std::min(w, h);
    const int x = m_position;
    const QColor slider = m_checked ? m_sliderColorOn : m_sliderColorOff;

    painter.setPen(Qt::NoPen);
    switch (m_buttonStyle) {
    case ButtonStyle_Rect:
        painter.setBrush(slider);
        painter.drawRoundedRect(QRect(x + m_space, m_space, w / 2 - 2 * m_space, h - 2 * m_space),
                                m_rectRadius, m_rectRadius);
        break;
    case ButtonStyle_CircleIn: {
        const int d = m - 2 * m_space;
        painter.setBrush(slider);
        painter.drawEllipse(QRect(x + m_space, m_space, d, d));
        break;
    }
    case ButtonStyle_CircleOut: {
        const QRect box(x, 0, h, h);
        QRadialGradient gradient(QRectF(box).center(), h / 2.0);
        if (m_checked) {
            gradient.setColorAt(0.0, Qt::white);
            gradient.setColorAt(0.5, Qt::white);
            gradient.setColorAt(0.6, m_sliderColorOn);
            gradient.setColorAt(1.0, m_sliderColorOn);
        } else {
            gradient.setColorAt(0.0, m_sliderColorOff);
            gradient.setColorAt(0.5, m_sliderColorOff);
            gradient.setColorAt(0.6, m_bgColorOff);
            gradient.setColorAt(1.0, m_bgColorOff);
        }
        painter.setBrush(gradient);
        painter.drawEllipse(box);
        break;
    }
    }
}
