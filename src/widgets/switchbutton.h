#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QTimer;

// Self-drawn on/off switch: a coloured track with a sliding knob and an optional label or ring.
class SwitchButton : public QWidget
{
    Q_OBJECT

public:
    enum ButtonStyle {
        ButtonStyle_Rect = 0,
        ButtonStyle_CircleIn = 1,
        ButtonStyle_CircleOut = 2,
    };
    Q_ENUM(ButtonStyle)

private:
    Q_PROPERTY(int space READ space WRITE setSpace)
    Q_PROPERTY(int rectRadius READ rectRadius WRITE setRectRadius)
    Q_PROPERTY(bool checked READ isChecked WRITE setChecked NOTIFY checkedChanged)
    Q_PROPERTY(bool showText READ showText WRITE setShowText)
    Q_PROPERTY(bool showCircle READ showCircle WRITE setShowCircle)
    Q_PROPERTY(bool animation READ animation WRITE setAnimation)
    Q_PROPERTY(ButtonStyle buttonStyle READ buttonStyle WRITE setButtonStyle)
    Q_PROPERTY(QColor bgColorOff READ bgColorOff WRITE setBgColorOff)
    Q_PROPERTY(QColor bgColorOn READ bgColorOn WRITE setBgColorOn)
    Q_PROPERTY(QColor sliderColorOff READ sliderColorOff WRITE setSliderColorOff)
    Q_PROPERTY(QColor sliderColorOn READ sliderColorOn WRITE setSliderColorOn)
    Q_PROPERTY(QColor textColorOff READ textColorOff WRITE setTextColorOff)
    Q_PROPERTY(QColor textColorOn READ textColorOn WRITE setTextColorOn)
    Q_PROPERTY(QString textOff READ textOff WRITE setTextOff)
    Q_PROPERTY(QString textOn READ textOn WRITE setTextOn)

public:
    explicit SwitchButton(QWidget *parent = nullptr);
    ~SwitchButton() override;

    int space() const { return m_space; }
    int rectRadius() const { return m_rectRadius; }
    bool isChecked() const { return m_checked; }
    bool showText() const { return m_showText; }
    bool showCircle() const { return m_showCircle; }
    bool animation() const { return m_animation; }
    ButtonStyle buttonStyle() const { return m_buttonStyle; }
    QColor bgColorOff() const { return m_bgColorOff; }
    QColor bgColorOn() const { return m_bgColorOn; }
    QColor sliderColorOff() const { return m_sliderColorOff; }
    QColor sliderColorOn() const { return m_sliderColorOn; }
    QColor textColorOff() const { return m_textColorOff; }
    QColor textColorOn() const { return m_textColorOn; }
    QString textOff() const { return m_textOff; }
    QString textOn() const { return m_textOn; }

    // Left edge of the knob in pixels (0 when off and settled).
    int knobPosition() const { return m_position; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setSpace(int space);
    void setRectRadius(int rectRadius);
    void setChecked(bool checked);
    void setShowText(bool showText);
    void setShowCircle(bool showCircle);
    void setAnimation(bool animation);
    void setButtonStyle(SwitchButton::ButtonStyle buttonStyle);
    void setBgColorOff(const QColor &color);
    void setBgColorOn(const QColor &color);
    void setSliderColorOff(const QColor &color);
    void setSliderColorOn(const QColor &color);
    void setTextColorOff(const QColor &color);
    void setTextColorOn(const QColor &color);
    void setTextOff(const QString &text);
    void setTextOn(const QString &text);

    // Toggles as a click does.
    void change();
    // One animation tick.
    void updateValue();

signals:
    void checkedChanged(bool checked);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int targetPosition() const;
    void applyPendingCheck();
    void drawTrack(QPainter &painter);
    void drawLabel(QPainter &painter);
    void drawKnob(QPainter &painter);

    int m_space = 2;
    int m_rectRadius = 5;
    bool m_checked = false;
    bool m_showText = true;
    bool m_showCircle = false;
    bool m_animation = false;
    ButtonStyle m_buttonStyle = ButtonStyle_CircleIn;
    QColor m_bgColorOff{111, 122, 126};
    QColor m_bgColorOn{21, 156, 119};
    QColor m_sliderColorOff{255, 255, 255};
    QColor m_sliderColorOn{255, 255, 255};
    QColor m_textColorOff{250, 250, 250};
    QColor m_textColorOn{255, 255, 255};
    QString m_textOff;
    QString m_textOn;

    int m_step = 0;
    int m_position = 0;
    int m_target = 0;
    QTimer *m_timer = nullptr;

    // State asked for by setChecked before the first resize; applied once, 10 ms later.
    bool m_pendingChecked = false;
    bool m_pendingScheduled = false;
};
