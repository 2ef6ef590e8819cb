#pragma once

// Response frames of the sample protocols and small helpers for main-window tests.

#include "protocol/protocolconfig.h"
#include "responseencoder.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <memory>

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

// Answers the next file dialog with a path (or cancels it when the path is empty). It answers
// again while that dialog stays open: a dialog still reading its directory may ignore an answer.
inline void answerFileDialog(const QString &path)
{
    auto *timer = new QTimer(qApp);
    struct Target
    {
        QPointer<QFileDialog> dialog;
        bool found = false;
    };
    auto target = std::make_shared<Target>();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path, target] {
        if (!target->found) {
            target->dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            target->found = !target->dialog.isNull();
            if (!target->found)
                return;
        }
        QFileDialog *dialog = target->dialog.data();
        if (!dialog || !dialog->isVisible()) {
            timer->deleteLater();
            return;
        }
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed as a user would: selectFile() is undone when the directory finishes loading.
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        else
            dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    timer->start(20);
}
