// Saves pictures of the main window: the value page and the chart page of the voltage group,
// then the value page in English and German. Given a port, it polls that port first, so the
// pictures show live values (scripts/screenshots runs it against the BMS simulator). Used for
// the README; run under a real display (Xvfb works).
//   cellscribe-window-shot OUT_DIR [--port PATH]...

#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("TRBMS"));
    QCoreApplication::setApplicationName(QStringLiteral("BV-BMS-window-shot"));
    QApplication app(argc, argv);
    // The window saves its selections: keep them away from the user's settings.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings(QStringLiteral("TRBMS"), QStringLiteral("BV-BMS"))
            .setValue(QStringLiteral("recordingDirectory"),
                      settingsDir.filePath(QStringLiteral("recordings")));
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
    int delay = 800;
    if (!options.virtualPorts.isEmpty()) {
        Ui::MainWindow *ui = window.form();
        ui->portName->setCurrentIndex(ui->portName->findData(options.virtualPorts.last()));
        ui->proid->setCurrentText(QStringLiteral("200 ms"));
        QTimer::singleShot(300, &window, [ui] { ui->openCom->setChecked(true); });
        delay = 2500;
    }
    int status = 0;
    QTimer::singleShot(delay, &window, [&] {
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
        window.form()->openCom->setChecked(false);
        app.quit();
    });
    app.exec();
    return status;
}
