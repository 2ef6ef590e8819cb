#pragma once

#include "widgets/widgetbackdrop.h"

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QStaticText>

class QLineEdit;

// Paints a read-only value field from pictures: the field's empty frame, as the style sheet draws
// it over what lies beneath, is kept, and a new reading only draws its text onto a copy of it.
// The style sheet's rounded, gradient-filled frames cost most of a repaint otherwise, and the
// fields change several times a second. The text is placed as QLineEdit places it. A field with
// focus, a selection or a text wider than itself is left to QLineEdit, as is every field while
// WidgetBackdrop is switched off.
class ValueFieldPainter : public QObject
{
    Q_OBJECT

public:
    explicit ValueFieldPainter(QLineEdit *field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Text
    {
        QStaticText text;
        int width; // as QLineEdit rounds it, plus its cursor's pixel
        int height;
        int ascentShift; // the line's ascent over the font's
    };
    bool paint();
    bool drawsItself() const;
    const Text &laidOut(const QString &text);
    void prepareFrame(const QPixmap &backdrop);

    QLineEdit *m_field;
    WidgetBackdrop m_backdrop;
    QPixmap m_frame; // the backdrop with the empty field's frame drawn on it
    qint64 m_frameBackdrop = 0;
    int m_frameState = 0;
    QRect m_contents;
    QString m_fontKey; // the field font's key and a separator; empty when to be taken
};
