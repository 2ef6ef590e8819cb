// Saves pictures of the main window: the value page and the chart page of the voltage group,
// then the value page in English and German. Given a port, it polls that port first, so the
// pictures show live values (scripts/screenshots runs it against the BMS simulator). Then the
// trend tab over a simulated day of the pack, as curves and as the cells' heat map. Used for
// the README; run under a real display (Xvfb works).
//   cellscribe-window-shot OUT_DIR [--port PATH]...

#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "trends/trendpicker.h"
#include "trends/trendplot.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#ifdef CELLSCRIBE_WITH_SIMULATOR
#include "simulatedlog.h"
#endif

#include <QApplication>
#include <QCheckBox>
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
        // The switch's animation settles before the next pictures.
        QTimer::singleShot(600, &window, [&] {
#ifdef CELLSCRIBE_WITH_SIMULATOR
            // Yesterday as the simulated pack would have logged it, one answer a minute.
            ProtocolConfig *config = window.currentProtocolConfig();
            RDModel *table = window.tableModel();
            if (config && table) {
                table->clearData();
                const QDateTime start(QDate::currentDate().addDays(-1), QTime(0, 0));
                SimulatedLog::fill(*table, *config, config->defaultCommand(), start, 24 * 60,
                                   60000);
                TrendView *trends = window.trendView();
                window.form()->tabWidget->setCurrentWidget(trends);
                QStringList keys;
                for (int cell = 1; cell <= 16; ++cell)
                    keys << QStringLiteral("Vcell%1").arg(cell);
                keys << QStringLiteral("data_current") << QStringLiteral("Temp1");
                trends->picker()->setCheckedKeys(keys);
                trends->plot()->resetView();
                QApplication::processEvents();
                const QRect plot = trends->plot()->plotArea();
                trends->plot()->setCursorTime(
                        trends->plot()->xToTime(plot.left() + plot.width() * 0.62));
                QApplication::processEvents();
                if (!window.grab().save(out.filePath(QStringLiteral("screenshot-trends.png"))))
                    status = 1;
                trends->plot()->clearCursor();
                trends->findChild<QCheckBox *>(QStringLiteral("trend_heatmap"))->setChecked(true);
                QApplication::processEvents();
                if (!window.grab().save(out.filePath(QStringLiteral("screenshot-heatmap.png"))))
                    status = 1;
                trends->findChild<QCheckBox *>(QStringLiteral("trend_heatmap"))->setChecked(false);
            }
#endif
            app.quit();
        });
    });
    app.exec();
    return status;
}
