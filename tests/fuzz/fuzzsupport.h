#pragma once

#include <QLoggingCategory>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// Fuzzing feeds mostly broken input; the warnings about it would dominate the run and its speed.
inline void silenceLogging()
{
    QLoggingCategory::setFilterRules(
            QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg)
            std::fprintf(stderr, "fatal: %s\n", qPrintable(msg));
    });
}

// A broken invariant is a crash for libFuzzer, in every build type.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
