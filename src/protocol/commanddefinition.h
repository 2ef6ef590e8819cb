#pragma once

#include "protocol/datasegment.h"

#include <QList>
#include <QString>

// A command of a protocol file: how to request it and how its response is cut.
struct CommandDefinition
{
    QString name;
    QString code;
    QString addr;
    QString cmd;
    QString ver;
    QString len;
    QString payload;
    QString raw;
    bool hasLength = false;
    bool hasPayload = false;
    bool hasRequest = false;
    QList<DataSegment> dataSegments;
};
