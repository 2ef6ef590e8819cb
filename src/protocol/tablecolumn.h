#pragma once

#include <QString>

// A column of the real-time table as declared by the protocol file.
struct TableColumn
{
    QString header;
    QString field;
    qint32 width = 80;
    QString type;
    QString dataField;
    QString format;
};
