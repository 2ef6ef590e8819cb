#include "trends/trendpalette.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>

#include <iterator>

namespace {

// Sixteen cells told apart at a glance; a seventeenth cell starts over.
const QRgb kCells[] = {
        0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2, 0x7f7f7f,
        0xbcbd22, 0x17becf, 0x393b79, 0xad494a, 0x637939, 0x8c6d31, 0x7b4173, 0x3182bd,
};

const QRgb kTemps[] = {0xc51162, 0xef6c00, 0x795548, 0x00838f, 0x827717, 0x4a148c};

// Anything else, chosen by its key.
const QRgb kOthers[] = {0x00897b, 0x5e35b1, 0x3949ab, 0x00acc1, 0x7cb342, 0xf4511e,
                        0x6d4c41, 0x546e7a, 0xc0ca33, 0x8e24aa, 0x039be5, 0xd81b60};

QRgb fixedColor(const QString &key, bool *found)
{
    static const QHash<QString, QRgb> colors = {
            {QStringLiteral("data_totalv"), 0x1a237e},
            {QStringLiteral("data_current"), 0x212121},
            {QStringLiteral("data_maxv"), 0x2e7d32},
            {QStringLiteral("data_minv"), 0xc62828},
            {QStringLiteral("voltage_diff"), 0x6a1b9a},
            {QStringLiteral("cell_mean"), 0x37474f},
            {QStringLiteral("ChgCur"), 0x00695c},
            {QStringLiteral("DsgCur"), 0xad1457},
            {QStringLiteral("data_maxtemperature"), 0xb71c1c},
            {QStringLiteral("data_mintemperature"), 0x0d47a1},
            {QStringLiteral("avg_temp"), 0x4e342e},
            {QStringLiteral("temp_diff"), 0x827717},
            {QStringLiteral("soc"), 0x00897b},
            {QStringLiteral("soc_percent"), 0x00897b},
            {QStringLiteral("soh"), 0x5e35b1},
    };
    const auto it = colors.constFind(key);
    *found = it != colors.constEnd();
    return *found ? *it : 0;
}

} // namespace

QColor TrendPalette::color(const TrendSeries &series)
{
    if (series.cell > 0)
        return QColor(kCells[size_t(series.cell - 1) % std::size(kCells)]);
    bool found = false;
    const QRgb fixed = fixedColor(series.key, &found);
    if (found)
        return QColor(fixed);
    static const QRegularExpression probe(QStringLiteral("^Temp(\\d+)$"));
    if (const auto m = probe.match(series.key); m.hasMatch()) {
        const int n = qMax(1, m.captured(1).toInt());
        return QColor(kTemps[size_t(n - 1) % std::size(kTemps)]);
    }
    // A stable hash: qHash is seeded per process.
    quint32 h = 2166136261u;
    for (QChar c : series.key) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return QColor(kOthers[h % std::size(kOthers)]);
}

QIcon TrendPalette::swatch(const QColor &color)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(1, 1, 10, 10), color);
    painter.fillRect(QRect(1, 1, 10, 1), color.darker(130));
    painter.fillRect(QRect(1, 10, 10, 1), color.darker(130));
    painter.fillRect(QRect(1, 1, 1, 10), color.darker(130));
    painter.fillRect(QRect(10, 1, 1, 10), color.darker(130));
    return QIcon(pixmap);
}
