// The start-up reference of bench_startup: a minimal Qt Widgets program showing one empty window.
// Prints "shown <steady clock ns>" once the window's first exposure has been painted, then quits,
// exactly as cellscribe does with CELLSCRIBE_EXIT_WHEN_SHOWN set.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdio>

namespace {

class ShownProbe : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && window && window->isExposed() && !m_done) {
            m_done = true;
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

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(800, 600);
    ShownProbe probe;
    window.winId();
    window.windowHandle()->installEventFilter(&probe);
    window.show();
    return app.exec();
}
