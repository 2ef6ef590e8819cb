#pragma once

#include <QString>

// One named, scaled field of a response's data section.
struct DataSegment
{
    QString name;
    qint32 length = 0; // hexadecimal characters
    double offset = 0.0;
    double scale = 0.0; // 0 when absent: every reading decodes to offset
    QString unit;
    QString type;
    QString uiField;
};
