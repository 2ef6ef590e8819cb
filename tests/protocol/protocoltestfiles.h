#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// Writes text into dir/fileName and returns the full path.
inline QString writeTextFile(const QString &dir, const QString &fileName, const QByteArray &text)
{
    const QString path = QDir(dir).filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(text);
    return path;
}

// A complete protocol document around the given members of the protocol object.
inline QByteArray protocolDocument(const QByteArray &members)
{
    return "{\"protocol\": {" + members + "}}";
}

// QFETCH as an expression, for a data column used once.
template<typename T>
T fetched(const char *column)
{
    return *static_cast<const T *>(QTest::qData(column, qMetaTypeId<T>()));
}
