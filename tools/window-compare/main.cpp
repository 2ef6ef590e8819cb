// Pictures of the main window with fixed readings, to compare the look of two builds:
//   cellscribe-window-compare shoot OUT_DIR     values page (1280 x 800) and chart page
//                                               (1600 x 900) in Chinese, English and German
//   cellscribe-window-compare diff DIR_A DIR_B  per picture, the share of pixels that differ
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. diff exits with 1 when a picture is
// missing, differs in size or has more than 0.1 % of its pixels changed.

#include "app/mainwindow.h"
#include "i18n/translations.h"
#include "ui_mainwindow.h"
#include "widgets/voltagechartwidget.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

const char *const kLanguages[] = {"zh", "en", "de"};

void fillReadings(MainWindow &window)
{
    // Every value field gets a text of its own, as a frame would write them.
    int n = 0;
    for (QLineEdit *field : window.findChildren<QLineEdit *>()) {
        if (!field->objectName().startsWith(QLatin1String("data_")))
            continue;
        field->setText(QString::number(3300 + 7 * n++));
    }
    QList<double> cells;
    for (int i = 0; i < 16; ++i)
        cells.append(3280 + (i * 37) % 90);
    VoltageChartWidget *chart = window.voltageChart();
    chart->setVoltages(cells);
    chart->setMaxVoltage(3369);
    chart->setMinVoltage(3280);
    chart->setAverageVoltage(3322);
}

int shoot(const QDir &out)
{
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    MainWindow::Options options;
    MainWindow window(options);
    window.show();
    fillReadings(window);
    int status = 0;
    const QList<QPair<QSize, QString>> sizes = {{QSize(1280, 800), QStringLiteral("values")},
                                                {QSize(1600, 900), QStringLiteral("chart")}};
    const int languages[] = {Chinese, English, German};
    for (int l = 0; l < 3; ++l) {
        window.applyLanguage(languages[l]);
        for (const auto &[size, page] : sizes) {
            window.resize(size);
            // Layouts settle and the about button is placed (100 ms after a resize).
            QEventLoop settle;
            QTimer::singleShot(400, &settle, &QEventLoop::quit);
            settle.exec();
            const QString name = QStringLiteral("%1-%2.png").arg(page, kLanguages[l]);
            if (!window.grab().save(out.filePath(name))) {
                std::fprintf(stderr, "could not save %s\n", qPrintable(name));
                status = 1;
            }
        }
    }
    return status;
}

int diff(const QDir &a, const QDir &b)
{
    int status = 0;
    const QStringList names = a.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QImage left = QImage(a.filePath(name)).convertToFormat(QImage::Format_RGB32);
        const QImage right = QImage(b.filePath(name)).convertToFormat(QImage::Format_RGB32);
        if (right.isNull() || left.size() != right.size()) {
            std::printf("%s: missing or of another size\n", qPrintable(name));
            status = 1;
            continue;
        }
        qint64 differing = 0;
        int largest = 0;
        QRect where;
        QImage mask = left.copy();
        for (int y = 0; y < left.height(); ++y) {
            const auto *l = reinterpret_cast<const QRgb *>(left.constScanLine(y));
            const auto *r = reinterpret_cast<const QRgb *>(right.constScanLine(y));
            for (int x = 0; x < left.width(); ++x) {
                if (l[x] == r[x])
                    continue;
                ++differing;
                where |= QRect(x, y, 1, 1);
                mask.setPixel(x, y, qRgb(255, 0, 0));
                largest = qMax(largest, qAbs(qRed(l[x]) - qRed(r[x])));
                largest = qMax(largest, qAbs(qGreen(l[x]) - qGreen(r[x])));
                largest = qMax(largest, qAbs(qBlue(l[x]) - qBlue(r[x])));
            }
        }
        const double share = 100.0 * double(differing) / (double(left.width()) * left.height());
        std::printf("%s: %lld pixels differ (%.4f %%), largest channel difference %d",
                    qPrintable(name), static_cast<long long>(differing), share, largest);
        if (differing > 0)
            std::printf(", within %d x %d at (%d, %d)", where.width(), where.height(), where.x(),
                        where.y());
        std::printf("\n");
        if (differing > 0 && qEnvironmentVariableIsSet("CELLSCRIBE_DIFF_MASKS"))
            mask.save(b.filePath(QStringLiteral("mask-") + name));
        if (share > 0.1)
            status = 1;
    }
    return names.isEmpty() ? 1 : status;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("shoot")) {
        QDir().mkpath(args.at(2));
        return shoot(QDir(args.at(2)));
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("diff"))
        return diff(QDir(args.at(2)), QDir(args.at(3)));
    std::fprintf(stderr, "usage: cellscribe-window-compare shoot OUT_DIR | diff DIR_A DIR_B\n");
    return 2;
}
