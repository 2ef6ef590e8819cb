#pragma once

#include <QString>

// Catalogue entry of one protocol file, read from its header only.
struct ProtocolInfo
{
    QString name;
    QString description;
    QString version;
    QString filePath;
};
