#pragma once

// Start-up timing for the benchmarks: installed on a window's native window, it prints
// "shown <steady clock ns>" once the first exposure has been painted, then quits the application.
// Header-only, so that the benchmark's minimal reference window uses the very same probe.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>

class ShownProbe : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() && !m_done) {
            m_done = true;
            // Queued: the exposure is painted when this filter has returned.
            QTimer::singleShot(0, this, [] {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count();
                std::printf("shown %lld\n", static_cast<long long>(ns));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_done = false;
};
