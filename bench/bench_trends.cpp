// Trend view speed and memory: a table of 16 cells and 4 pack series (total, current, highest,
// lowest) with rows 200 ms apart, 1,000,000 rows (55 hours).
// - trend_bytes_per_row: heap the trend data takes for the rows, on top of the table.
// - trend_append_flatness: the trend data's work for a row the table appends, at 1M rows
//   against the first rows (quickest 1,000-row block of each end).
// - trend_redraw: the plot at 1400 x 600 drawn afresh with all 20 curves: everything shown,
//   zoom steps (wheel steps down to single rows) and pan steps, at 1M rows against 10k rows.
#include "benchsupport.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolconfig.h"
#include "tabledata.h"
#include "trends/trenddata.h"
#include "trends/trendplot.h"

#include <QApplication>
#include <QDateTime>

#include <chrono>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define HAVE_MALLINFO2 1
#endif

namespace {

constexpr int kRows = 1000000;
constexpr int kSmallRows = 10000;
constexpr int kBlock = 1000;
constexpr qint64 kStepMs = 200;

long long heapInUse()
{
#ifdef HAVE_MALLINFO2
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

QList<TableColumn> trendColumns()
{
    using bench::column;
    QList<TableColumn> cols{
            column(QStringLiteral("日期"), QStringLiteral("_date"), QStringLiteral("system")),
            column(QStringLiteral("时间"), QStringLiteral("_time"), QStringLiteral("system")),
            column(QStringLiteral("状态"), QStringLiteral("status"), QStringLiteral("status"),
                   QStringLiteral("WorkState"))};
    for (int i = 1; i <= 16; ++i)
        cols.append(column(QStringLiteral("电芯%1 (mV)").arg(i), QStringLiteral("Vcell%1").arg(i),
                           QStringLiteral("data")));
    cols.append(column(QStringLiteral("电池组电压 (V)"), QStringLiteral("data_totalv"),
                       QStringLiteral("data")));
    cols.append(column(QStringLiteral("电池组电流 (A)"), QStringLiteral("data_current"),
                       QStringLiteral("data")));
    cols.append(column(QStringLiteral("最大电芯电压 (mV)"), QStringLiteral("data_maxv"),
                       QStringLiteral("data")));
    cols.append(column(QStringLiteral("最小电芯电压 (mV)"), QStringLiteral("data_minv"),
                       QStringLiteral("data")));
    return cols;
}

// Rows stamped 200 ms apart from a fixed start (in UTC: no time-zone lookups in the table).
struct Clock
{
    QDateTime start = QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC);
    qint64 row = 0;
    QDateTime operator()() { return start.addMSecs(row++ * kStepMs); }
};

void fill(RDModel &model, const QList<QVariantHash> &maps, int rows)
{
    for (int r = model.rowCount(); r < rows; ++r)
        model.appendDataRow(maps.at(r % bench::kMaps));
}

struct Redraw
{
    double fullMs = 0;
    double zoomMs = 0;
    double zoomWorstMs = 0;
    double panMs = 0;
};

double drawOnce(TrendPlot &plot)
{
    const double start = bench::threadCpuSeconds();
    plot.repaint();
    return (bench::threadCpuSeconds() - start) * 1000;
}

Redraw measureRedraw(TrendPlot &plot)
{
    Redraw r;
    std::vector<double> full, zoom, pan;
    for (int i = 0; i < 15; ++i) {
        plot.resetView(); // everything, drawn afresh
        full.push_back(drawOnce(plot));
    }
    // Wheel steps in, from everything down to a few minutes (single rows), and out again.
    const int middle = plot.plotArea().center().x();
    for (int i = 0; i < 40; ++i) {
        plot.zoom(i < 20 ? 1.25 * 1.25 : 1 / (1.25 * 1.25), middle);
        zoom.push_back(drawOnce(plot));
        if (qEnvironmentVariableIsSet("BENCH_TRENDS_VERBOSE"))
            std::printf("  zoom step %d: span %lld ms, %.2f ms\n", i,
                        static_cast<long long>(plot.viewEnd() - plot.viewStart()), zoom.back());
    }
    plot.resetView();
    plot.zoom(4, middle);
    for (int i = 0; i < 20; ++i) {
        plot.pan(i < 10 ? 60 : -60);
        pan.push_back(drawOnce(plot));
    }
    r.fullMs = bench::median(full);
    r.zoomMs = bench::median(zoom);
    r.zoomWorstMs = *std::max_element(zoom.begin(), zoom.end());
    r.panMs = bench::median(pan);
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QList<TableColumn> cols = trendColumns();
    const QList<QVariantHash> maps = bench::valueMaps();
    bool ok = true;

    // Memory: the table alone, then the trend data taking in its rows.
    double tableBytes = 0, trendBytes = 0, trendCounted = 0;
    {
        Clock clock;
        RDModel model;
        model.setColumns(cols);
        model.setClock([&clock] { return clock(); });
        const long long before = heapInUse();
        fill(model, maps, kRows);
        const long long afterTable = heapInUse();
        TrendData data;
        data.setModel(&model);
        const long long afterTrend = heapInUse();
        tableBytes = double(afterTable - before) / kRows;
        trendBytes = double(afterTrend - afterTable) / kRows;
        trendCounted = double(data.bytes()) / kRows;
        std::printf("trend series: %d over %lld rows\n", data.seriesCount(),
                    static_cast<long long>(data.rowCount()));
    }
    {
        // The same count for the sample protocol's wider table (36 curves).
        ProtocolConfig config;
        RDModel model;
        if (config.loadConfig(QStringLiteral(CELLSCRIBE_PROTOCOLS_DIR "/cs-16s.json"))) {
            model.setProtocolConfig(&config);
            fill(model, maps, kRows / 5);
            TrendData data;
            data.setModel(&model);
            std::printf("CS-16S table: %d curves, the trend data counts %.1f bytes per row\n",
                        data.seriesCount(), double(data.bytes()) / model.rowCount());
        }
    }
    ok &= bench::report("trend_bytes_per_row", bench::num(trendBytes, 1),
                        QStringLiteral("bytes per row on top of the table"),
                        QStringLiteral("<= 32"),
                        QStringLiteral("table %1 bytes per row; the trend data counts %2")
                                .arg(bench::num(tableBytes, 1), bench::num(trendCounted, 1)),
                        bench::num(trendBytes / tableBytes, 3),
                        heapInUse() >= 0 && trendBytes > 0 && trendBytes <= 32);

    // Appending: the trend data's own work for each row the table appends, timed between a
    // slot connected before its own and one after (slots run in the order connected).
    std::vector<double> trendBlocks, tableBlocks;
    {
        Clock clock;
        RDModel model;
        model.setColumns(cols);
        model.setClock([&clock] { return clock(); });
        std::chrono::steady_clock::time_point before;
        double trendSeconds = 0;
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model,
                         [&before] { before = std::chrono::steady_clock::now(); });
        TrendData data;
        data.setModel(&model);
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model, [&] {
            trendSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before)
                                    .count();
        });
        for (int b = 0; b < kRows / kBlock; ++b) {
            trendSeconds = 0;
            const double start = bench::nowSeconds();
            for (int r = 0; r < kBlock; ++r)
                model.appendDataRow(maps.at((b * kBlock + r) % bench::kMaps));
            tableBlocks.push_back((bench::nowSeconds() - start) / kBlock * 1e6);
            trendBlocks.push_back(trendSeconds / kBlock * 1e6);
        }
    }
    const int ends = kSmallRows / kBlock;
    auto quickest = [ends](const std::vector<double> &blocks, bool atEnd) {
        return atEnd ? *std::min_element(blocks.end() - ends, blocks.end())
                     : *std::min_element(blocks.begin(), blocks.begin() + ends);
    };
    const double firstUs = quickest(trendBlocks, false);
    const double lastUs = quickest(trendBlocks, true);
    ok &= bench::report("trend_append_flatness", bench::num(lastUs, 3),
                        QStringLiteral("us per row at 1M rows (the trend data's share)"),
                        QStringLiteral("flat: rows 990k-1M <= 1.25x rows 0-10k"),
                        QStringLiteral("rows 0-10k %1 us per row; the whole append (table and "
                                       "trend) %2 us then, %3 us at 1M")
                                .arg(bench::num(firstUs, 3),
                                     bench::num(quickest(tableBlocks, false), 2),
                                     bench::num(quickest(tableBlocks, true), 2)),
                        bench::num(lastUs / firstUs, 2) + u'x', lastUs <= firstUs * 1.25);

    // Drawing: the same plot over 10k and over 1M rows.
    auto redrawAt = [&](int rows) {
        Clock clock;
        RDModel model;
        model.setColumns(cols);
        model.setClock([&clock] { return clock(); });
        fill(model, maps, rows);
        TrendData data;
        data.setModel(&model);
        TrendPlot plot;
        plot.setData(&data);
        QList<int> all;
        for (int s = 0; s < data.seriesCount(); ++s) {
            if (data.series().at(s).column >= 0)
                all.append(s);
        }
        plot.setSeries(all);
        plot.resize(1400, 600);
        plot.show();
        QCoreApplication::processEvents();
        std::printf("redraw at %d rows: %lld curves\n", rows, static_cast<long long>(all.size()));
        return measureRedraw(plot);
    };
    const Redraw small = redrawAt(kSmallRows);
    const Redraw big = redrawAt(kRows);
    std::printf("redraw ms (median; everything / zoom steps / pan steps; worst zoom step): "
                "10k rows %.2f / %.2f / %.2f; %.2f, 1M rows %.2f / %.2f / %.2f; %.2f\n",
                small.fullMs, small.zoomMs, small.panMs, small.zoomWorstMs, big.fullMs, big.zoomMs,
                big.panMs, big.zoomWorstMs);
    const double bigWorst = std::max({big.fullMs, big.zoomMs, big.panMs});
    const double smallWorst = std::max({small.fullMs, small.zoomMs, small.panMs});
    ok &= bench::report("trend_redraw", bench::num(bigWorst, 2),
                        QStringLiteral("ms per redraw at 1400x600, 20 curves, 1M rows"),
                        QStringLiteral("< 16 ms (worst median of full, zoom, pan)"),
                        QStringLiteral("10k rows %1 ms; worst single zoom step at 1M %2 ms")
                                .arg(bench::num(smallWorst, 2), bench::num(big.zoomWorstMs, 2)),
                        bench::num(bigWorst / smallWorst, 2) + u'x', bigWorst < 16);
    return ok ? 0 : 0;
}
