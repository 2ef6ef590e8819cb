// The start-up reference of bench_startup: a minimal Qt Widgets program showing one empty window.
// Prints "shown <steady clock ns>" once the window's first exposure has been painted, then quits,
// exactly as cellscribe does with CELLSCRIBE_EXIT_WHEN_SHOWN set.

#include "app/shownprobe.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

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
