#include "widgets/opaqueviewport.h"

#include <QAbstractScrollArea>

void keepViewportOpaque(QAbstractScrollArea *area)
{
    QWidget *port = area->viewport();
    if (!port->autoFillBackground() && port->palette().base().isOpaque())
        port->setAutoFillBackground(true);
}
