// Saves pictures of the main window as a user sees it at start-up: the value page and the chart
// page of the voltage group, then the value page in English and German. Used for the README;
// run under a real display (Xvfb works).
//   cellscribe-window-shot OUT_DIR [--port PATH]...

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("BV-BMS-window-shot"));
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        qWarning("usage: cellscribe-window-shot OUT_DIR [--port PATH]...");
        return 1;
    }
    const QDir out(args.at(1));
    MainWindow::Options options;
    for (int i = 2; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--port"))
            options.virtualPorts.append(args.at(++i));
    }

    MainWindow window(options);
    window.resize(1280, 800);
    window.show();
    int status = 0;
    QTimer::singleShot(800, &window, [&] {
        QStackedWidget *stack = window.form()->stackedWidget_voltage;
        stack->setCurrentIndex(0);
        if (!window.grab().save(out.filePath(QStringLiteral("screenshot-values.png"))))
            status = 1;
        stack->setCurrentIndex(1);
        if (!window.grab().save(out.filePath(QStringLiteral("screenshot-chart.png"))))
            status = 1;
        stack->setCurrentIndex(0);
        const QList<QPair<int, QString>> languages = {{English, QStringLiteral("en")},
                                                      {German, QStringLiteral("de")}};
        for (const auto &[language, suffix] : languages) {
            window.applyLanguage(language);
            QApplication::processEvents();
            const QString name = QStringLiteral("screenshot-values-%1.png").arg(suffix);
            if (!window.grab().save(out.filePath(name)))
                status = 1;
        }
        window.applyLanguage(Chinese);
        app.quit();
    });
    app.exec();
    return status;
}
