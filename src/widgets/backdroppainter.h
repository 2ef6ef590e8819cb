#pragma once

#include "widgets/widgetbackdrop.h"

#include <QObject>

// Lets a widget that changes often (a counter, a flashing lamp) paint over a picture of what lies
// beneath it, so that its repaints stop at itself. The widget paints itself as before.
class BackdropPainter : public QObject
{
    Q_OBJECT

public:
    explicit BackdropPainter(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_widget;
    WidgetBackdrop m_backdrop;
};
