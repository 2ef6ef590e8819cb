// cellscribe-record: the window's acquisition without a window, for headless boxes and services.

#include "record/recorder.h"
#include "record/recorderoptions.h"
#include "record/signalwatcher.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

bool g_quiet = false;
QtMessageHandler g_previousHandler = nullptr;

// --quiet keeps the log's warnings (a frame that answers no command, ...) off stderr too.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_quiet && (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("cellscribe-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CELLSCRIBE_VERSION));

    RecorderOptions options;
    QString text;
    switch (RecorderOptions::parse(QCoreApplication::arguments(), &options, &text)) {
    case RecorderOptions::Outcome::Help:
        print(stdout, text);
        return RecorderOptions::ExitOk;
    case RecorderOptions::Outcome::Version:
        print(stdout, QStringLiteral("cellscribe-record %1\n").arg(app.applicationVersion()));
        return RecorderOptions::ExitOk;
    case RecorderOptions::Outcome::Error:
        print(stderr, QStringLiteral("cellscribe-record: %1\n").arg(text));
        return RecorderOptions::ExitBadInput;
    case RecorderOptions::Outcome::Run:
        break;
    }
    g_quiet = options.quiet;
    g_previousHandler = qInstallMessageHandler(messageHandler);

    Recorder recorder(options);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &recorder,
                     [&recorder] { recorder.finish(RecorderOptions::ExitOk); });
    QObject::connect(&recorder, &Recorder::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    const int early = recorder.start();
    if (early >= 0)
        return early;
    return app.exec();
}
