// The trend tab's widgets on a real table: picker, axes, readout, markers, following the
// newest rows, heat map and exports.

#include "datalog/csvwriter.h"
#include "trends/trenddata.h"
#include "trends/trendlegend.h"
#include "trends/trendpicker.h"
#include "trends/trendplot.h"
#include "trends/trendticks.h"
#include "trends/trendview.h"
#include "trendtestdata.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

namespace {

// Row r, one second after row r - 1: cell i at 3300 + i + (r mod 3), the current climbing by
// 10 mA a row from 1 A, the probe at 25.0 to 25.4.
double cellAt(int row, int cell)
{
    return 3300 + cell + row % 3;
}

double currentAt(int row)
{
    return 1.0 + row * 0.01;
}

QDateTime timeOf(int row)
{
    return trendStart().addSecs(row);
}

void appendRows(RDModel &model, int from, int to)
{
    for (int r = from; r < to; ++r)
        appendAt(model, timeOf(r),
                 packValues([r](int cell) { return cellAt(r, cell); }, currentAt(r),
                            25.0 + (r % 5) * 0.1));
}

} // namespace

class TestTrendView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyTableShowsNoData();
    void pickerGroupsAndAllCells();
    void axesRangedToTheDataInView();
    void readoutAtAKnownTime();
    void markerStatistics();
    void followingPausesWithoutLosingRows();
    void heatMapShowsTheLowCell();
    void exports();
    void everyZoomLevelDraws();

private:
    int seriesIndex(const QString &key) const { return view->data()->catalogue().indexOf(key); }
    int legendRow(const QString &key) const
    {
        return int(view->legend()->series().indexOf(seriesIndex(key)));
    }

    std::unique_ptr<RDModel> model;
    std::unique_ptr<TrendView> view;
};

void TestTrendView::init()
{
    model = std::make_unique<RDModel>();
    model->setColumns(sampleColumns());
    view = std::make_unique<TrendView>();
    view->setModel(model.get());
    view->resize(1400, 700);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
}

void TestTrendView::cleanup()
{
    view.reset();
    model.reset();
}

void TestTrendView::emptyTableShowsNoData()
{
    // Shown before any row: the default curves are chosen, nothing is drawn yet.
    TrendPlot *plot = view->plot();
    QVERIFY(!plot->grab().isNull());
    QCOMPARE(plot->series().size(), 17);
    QCOMPARE(view->readoutText(), QStringLiteral("无数据"));
    appendRows(*model, 0, 1);
    QVERIFY(!plot->grab().isNull());
    QCOMPARE(view->data()->rowCount(), 1);
    model->clearData();
    QVERIFY(!plot->grab().isNull());
}

void TestTrendView::pickerGroupsAndAllCells()
{
    appendRows(*model, 0, 10);
    TrendPicker *picker = view->picker();
    const QStringList groups = {QStringLiteral("各电芯"), QStringLiteral("电池组"),
                                QStringLiteral("温度"), QStringLiteral("状态")};
    for (int g = 0; g < 4; ++g)
        QCOMPARE(picker->groupItem(TrendGroup(g))->text(0), groups.at(g));
    // By default every cell and the pack current.
    QCOMPARE(picker->groupItem(TrendGroup::Cells)->checkState(0), Qt::Checked);
    QVERIFY(view->plot()->series().contains(seriesIndex(QStringLiteral("data_current"))));

    // All cells off and on again, each in one click on the group.
    picker->setGroupChecked(TrendGroup::Cells, false);
    QCOMPARE(view->plot()->series(), QList<int>{seriesIndex(QStringLiteral("data_current"))});
    picker->setGroupChecked(TrendGroup::Cells, true);
    QCOMPARE(view->plot()->series().size(), 17);
    picker->seriesItem(seriesIndex(QStringLiteral("Vcell3")))->setCheckState(0, Qt::Unchecked);
    QCOMPARE(picker->groupItem(TrendGroup::Cells)->checkState(0), Qt::PartiallyChecked);
    QVERIFY(!view->plot()->series().contains(seriesIndex(QStringLiteral("Vcell3"))));
    QCOMPARE(view->legend()->topLevelItemCount(), 16);

    // Columns that never had a number are left out once there are rows; the others stay.
    QVERIFY(picker->seriesItem(seriesIndex(QStringLiteral("soh")))->isHidden());
    QVERIFY(!picker->seriesItem(seriesIndex(QStringLiteral("Temp1")))->isHidden());
    QVERIFY(picker->seriesItem(seriesIndex(QStringLiteral("Temp2")))->isHidden());
    QVERIFY(picker->groupItem(TrendGroup::State)->isHidden());
    // Derived figures count as having numbers.
    QVERIFY(!picker->seriesItem(seriesIndex(QStringLiteral("cell_mean")))->isHidden());
}

void TestTrendView::axesRangedToTheDataInView()
{
    appendRows(*model, 0, 101);
    TrendPlot *plot = view->plot();
    QList<TrendPlot::Axis> axes = plot->axes();
    QCOMPARE(axes.size(), 2);
    QCOMPARE(axes.at(0).unit, QStringLiteral("mV"));
    QVERIFY(!axes.at(0).right);
    QCOMPARE(axes.at(1).unit, QStringLiteral("A"));
    QVERIFY(axes.at(1).right);
    // Cells from 3301 to 3318, current from 1.00 to 2.00, each with 5 % room.
    QVERIFY(qFuzzyCompare(axes.at(0).low, 3301 - 0.85));
    QVERIFY(qFuzzyCompare(axes.at(0).high, 3318 + 0.85));
    QVERIFY(qFuzzyCompare(axes.at(1).low, 1.0 - 0.05));
    QVERIFY(qFuzzyCompare(axes.at(1).high, 2.0 + 0.05));

    // Rows 0 to 50 in view: the current axis follows them.
    plot->setView(timeOf(0).toMSecsSinceEpoch(), timeOf(50).toMSecsSinceEpoch());
    axes = plot->axes();
    QVERIFY(qFuzzyCompare(axes.at(1).low, 1.0 - 0.025));
    QVERIFY(qFuzzyCompare(axes.at(1).high, 1.5 + 0.025));
    QVERIFY(!axes.at(1).fixed);

    // A box over the upper half of the plot sets the values it covers.
    const QRect area = plot->plotArea();
    plot->zoomToBox(QRect(area.left() + 10, area.top(), area.width() / 2, area.height() / 2));
    axes = plot->axes();
    QVERIFY(axes.at(0).fixed && axes.at(1).fixed);
    QVERIFY(axes.at(1).low > 1.2 && axes.at(1).high <= 1.5 + 0.026);
    plot->resetView();
    QVERIFY(!plot->axes().at(0).fixed);
    QCOMPARE(plot->viewEnd(), timeOf(100).toMSecsSinceEpoch());
}

void TestTrendView::readoutAtAKnownTime()
{
    appendRows(*model, 0, 101);
    TrendPlot *plot = view->plot();
    // The legend shows the newest row until the cursor is on the plot (arriving rows reach it
    // at the pace of the plot's pictures).
    QTRY_COMPARE(
            view->legend()->text(legendRow(QStringLiteral("data_current")), TrendLegend::Value),
            QStringLiteral("2"));
    plot->setCursorTime(timeOf(42).toMSecsSinceEpoch() + 300);
    QCOMPARE(plot->cursorRow(), 42);
    QCOMPARE(view->readoutText(), QStringLiteral("时间: 2024-05-17 22:00:42"));
    QCOMPARE(view->legend()->text(legendRow(QStringLiteral("Vcell5")), TrendLegend::Value),
             QStringLiteral("3305"));
    QCOMPARE(view->legend()->text(legendRow(QStringLiteral("data_current")), TrendLegend::Value),
             QStringLiteral("1.42"));
    // The crosshair follows the mouse over the plot.
    const int x = plot->timeToX(timeOf(77).toMSecsSinceEpoch());
    QTest::mouseMove(plot, QPoint(x, plot->plotArea().center().y()));
    QTRY_COMPARE(plot->cursorRow(), 77);
    QCOMPARE(view->legend()->text(legendRow(QStringLiteral("Vcell1")), TrendLegend::Value),
             QStringLiteral("3303"));
}

void TestTrendView::markerStatistics()
{
    appendRows(*model, 0, 101);
    view->findChild<QCheckBox *>(QStringLiteral("trend_markers"))->setChecked(true);
    QVERIFY(view->plot()->markersShown());
    view->plot()->setMarkers(timeOf(10).toMSecsSinceEpoch(), timeOf(20).toMSecsSinceEpoch());

    // Rows 10 to 20. Cell 1: 3301 + (r mod 3), by hand: 3302 3303 3301 3302 3303 3301 3302 3303
    // 3301 3302 3303, mean 36323 / 11; current 1.10 to 1.20.
    const int cell = legendRow(QStringLiteral("Vcell1"));
    TrendLegend *legend = view->legend();
    QCOMPARE(legend->text(cell, TrendLegend::Minimum), QStringLiteral("3301"));
    QCOMPARE(legend->text(cell, TrendLegend::Maximum), QStringLiteral("3303"));
    QCOMPARE(legend->text(cell, TrendLegend::Mean), TrendTicks::formatValue(36323.0 / 11));
    QCOMPARE(legend->text(cell, TrendLegend::Delta), QStringLiteral("1"));
    const int current = legendRow(QStringLiteral("data_current"));
    QCOMPARE(legend->text(current, TrendLegend::Minimum), TrendTicks::formatValue(double(1.1f)));
    QCOMPARE(legend->text(current, TrendLegend::Maximum), TrendTicks::formatValue(double(1.2f)));
    QCOMPARE(legend->text(current, TrendLegend::Mean).toDouble(), 1.15);
    QCOMPARE(legend->text(current, TrendLegend::Delta).toDouble(), 0.1);
    QVERIFY2(view->markerText().contains(QStringLiteral("Δt: 00:00:10")),
             qPrintable(view->markerText()));
    QVERIFY(view->markerText().contains(QStringLiteral("11 行")));

    // Markers given the other way round measure the same rows.
    view->plot()->setMarkers(timeOf(20).toMSecsSinceEpoch(), timeOf(10).toMSecsSinceEpoch());
    QCOMPARE(legend->text(cell, TrendLegend::Mean), TrendTicks::formatValue(36323.0 / 11));
    QCOMPARE(legend->text(cell, TrendLegend::Delta), QStringLiteral("-1"));
}

void TestTrendView::followingPausesWithoutLosingRows()
{
    appendRows(*model, 0, 100);
    TrendPlot *plot = view->plot();
    auto *follow = view->findChild<QCheckBox *>(QStringLiteral("trend_follow"));
    QVERIFY(plot->isFollowing() && follow->isChecked());
    appendRows(*model, 100, 101);
    QCOMPARE(plot->viewEnd(), timeOf(100).toMSecsSinceEpoch());

    // Zoomed in while following: the newest row stays at the right edge.
    QWheelEvent wheel(QPointF(plot->plotArea().center()),
                      plot->mapToGlobal(QPointF(plot->plotArea().center())), QPoint(),
                      QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    const qint64 span = plot->viewEnd() - plot->viewStart();
    QVERIFY(span < 100 * 1000 * 2 / 3);
    QCOMPARE(plot->viewEnd(), timeOf(100).toMSecsSinceEpoch());

    // Dragging towards the past pauses.
    const QPoint middle = plot->plotArea().center();
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, middle);
    QTest::mouseMove(plot, middle + QPoint(200, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, middle + QPoint(200, 0));
    QVERIFY(!plot->isFollowing());
    QVERIFY(!follow->isChecked());
    const qint64 start = plot->viewStart(), end = plot->viewEnd();
    QVERIFY(end < timeOf(100).toMSecsSinceEpoch());

    // Rows keep coming while paused: the view stays, nothing is dropped.
    appendRows(*model, 101, 160);
    QCOMPARE(plot->viewStart(), start);
    QCOMPARE(plot->viewEnd(), end);
    QCOMPARE(view->data()->rowCount(), 160);
    TrendSummary::Entry current;
    view->data()->summarize(0, 160, {seriesIndex(QStringLiteral("data_current"))}, &current);
    QCOMPARE(current.count, 160u);

    // Following again shows the newest row, with the span kept.
    follow->setChecked(true);
    QVERIFY(plot->isFollowing());
    QCOMPARE(plot->viewEnd(), timeOf(159).toMSecsSinceEpoch());
    QCOMPARE(plot->viewEnd() - plot->viewStart(), end - start);
}

void TestTrendView::heatMapShowsTheLowCell()
{
    // Every cell at 3300 mV but cell 5, 50 mV lower and balancing up by a millivolt a minute.
    for (int r = 0; r < 600; ++r)
        appendAt(*model, timeOf(r),
                 packValues([r](int cell) { return cell == 5 ? 3250.0 + r / 60 : 3300.0; }, 1, 25));
    view->findChild<QCheckBox *>(QStringLiteral("trend_heatmap"))->setChecked(true);
    TrendPlot *plot = view->plot();
    QCOMPARE(plot->mode(), TrendPlot::Mode::HeatMap);
    // The pack mean lies 3 mV above the low cell's 47 mV: the scale runs to 50 mV.
    QCOMPARE(plot->heatRange(), 50.0);
    const QImage picture = plot->grab().toImage();
    const QRect area = plot->plotArea();
    auto bandColor = [&](int band, double along) {
        const int y = area.top() + int((band + 0.5) * area.height() / 16);
        return QColor(picture.pixel(area.left() + int(along * area.width()), y));
    };
    const QColor low = bandColor(4, 0.1);
    QVERIFY2(low.blue() > low.red() + 100, qPrintable(low.name()));
    // The others sit a few millivolts above the mean: nearly the neutral colour, a touch red.
    for (int band : {0, 7, 15}) {
        const QColor other = bandColor(band, 0.5);
        QVERIFY2(other.red() >= other.blue() && other.red() - other.blue() < 40,
                 qPrintable(other.name()));
    }
    QCOMPARE(TrendPlot::heatColor(0, 50), QColor(247, 247, 247));
    QCOMPARE(TrendPlot::heatColor(-80, 50), TrendPlot::heatColor(-50, 50));
    // Balancing shows: the low cell is paler at the end than at the start.
    QVERIFY(bandColor(4, 0.95).red() > low.red());
}

void TestTrendView::exports()
{
    appendRows(*model, 0, 101);
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("trend.png"));
    QVERIFY(view->exportPng(png));
    const QImage image(png);
    QVERIFY(!image.isNull());
    // The plot with its legend beside it.
    QVERIFY(image.width() > view->plot()->width());
    QVERIFY(!view->exportPng(dir.filePath(QStringLiteral("missing/trend.png"))));

    // The rows in view only, in the table's format.
    view->plot()->setView(timeOf(10).toMSecsSinceEpoch(), timeOf(19).toMSecsSinceEpoch());
    const QString csv = dir.filePath(QStringLiteral("trend.csv"));
    QVERIFY(view->exportCsv(csv).ok);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.startsWith("\xEF\xBB\xBF"));
    const QList<QByteArray> lines = content.mid(3).split('\n');
    QCOMPARE(lines.size(), 12); // header, ten rows, the end of the last line
    QCOMPARE(lines.first() + '\n',
             CsvWriter::headerLine(model.get(), CsvWriter::allColumns(model.get())));
    QCOMPARE(lines.at(1) + '\n',
             CsvWriter::rowLine(model.get(), CsvWriter::allColumns(model.get()), 10));
    QVERIFY(lines.at(10).contains("\"22:00:19.00\""));
    QVERIFY(!view->exportCsv(dir.filePath(QStringLiteral("missing/trend.csv"))).ok);
}

void TestTrendView::everyZoomLevelDraws()
{
    for (int r = 0; r < 5000; ++r)
        appendAt(*model, timeOf(r),
                 packValues([r](int cell) { return 3300 + (r * cell) % 17; }, 1, 25));
    TrendPlot *plot = view->plot();
    const int middle = plot->plotArea().center().x();
    for (int step = 0; step < 60; ++step) {
        plot->zoom(step < 30 ? 1.5 : 1 / 1.5, middle);
        const QImage picture = plot->grab().toImage();
        QVERIFY(!picture.isNull());
    }
    // Out again as far as it goes: all rows fit.
    QVERIFY(plot->viewEnd() - plot->viewStart()
            >= timeOf(4999).toMSecsSinceEpoch() - timeOf(0).toMSecsSinceEpoch());
}

QTEST_MAIN(TestTrendView)
#include "tst_trendview.moc"
