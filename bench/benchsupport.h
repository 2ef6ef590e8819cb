#pragma once

// Helpers shared by the benchmark programs: the result line, timing, running a reference
// program and reading its figures.

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#ifdef Q_OS_UNIX
#include <time.h>
#endif

namespace bench {

inline double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
}

// CPU time of the calling thread: on a shared machine, time spent descheduled does not count.
inline double threadCpuSeconds()
{
#ifdef Q_OS_UNIX
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#else
    return nowSeconds();
#endif
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// One figure as "name: value unit (goal ..., reference ..., ratio ...) ok|missed".
inline bool report(const char *name, const QString &value, const QString &unit, const QString &goal,
                   const QString &reference, const QString &ratio, bool ok)
{
    QStringList parts{QStringLiteral("goal ") + goal};
    if (!reference.isEmpty())
        parts << QStringLiteral("reference ") + reference;
    if (!ratio.isEmpty())
        parts << QStringLiteral("ratio ") + ratio;
    std::printf("%s: %s %s (%s) %s\n", name, qPrintable(value), qPrintable(unit),
                qPrintable(parts.join(QStringLiteral(", "))), ok ? "ok" : "missed");
    std::fflush(stdout);
    return ok;
}

inline QString num(double v, int decimals = 1)
{
    return QString::number(v, 'f', decimals);
}

// Runs a program and returns its "key: value" lines from standard output; empty on failure.
inline QHash<QString, QString> runForFigures(const QString &program, const QStringList &arguments,
                                             int timeoutMs = 300000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    QHash<QString, QString> figures;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        std::fprintf(stderr, "bench: %s failed: %s\n", qPrintable(program),
                     qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished(5000);
        return figures;
    }
    const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            figures.insert(QString::fromUtf8(line.left(colon)).trimmed(),
                           QString::fromUtf8(line.mid(colon + 1)).trimmed());
    }
    return figures;
}

} // namespace bench
