#pragma once

#include <QString>
#include <QStringList>

// A named calculation of a protocol file; carried in the model, not evaluated.
struct Calculation
{
    QString name;
    QStringList source;
    QString operation;
    QString uiField;
};
