#pragma once

// Response frames of the sample protocols and small helpers for main-window tests.

#include "protocol/protocolconfig.h"
#include "responseencoder.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QTimer>

inline QString sampleProtocolDir()
{
    return QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR);
}

// A valid answer to a command of the protocol file, its values varied by seed.
inline QString responseFrame(const QString &protocolFile, const QString &commandName, int seed)
{
    ProtocolConfig config;
    if (!config.loadConfig(protocolFile))
        return {};
    const CommandDefinition command = config.command(commandName);
    QList<quint64> raws;
    for (int i = 0; i < command.dataSegments.size(); ++i)
        raws.append(quint64(3200 + seed + i));
    return QString::fromLatin1(ResponseEncoder::encode(config, command, raws));
}

// Answers the next file dialog with a path (or cancels it when the path is empty).
inline void answerFileDialog(const QString &path)
{
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
        timer->deleteLater();
    });
    timer->start(20);
}
