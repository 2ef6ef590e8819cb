#include "trends/trendview.h"

#include "datalog/rdmodel.h"
#include "trends/trendcsvexport.h"
#include "trends/trenddata.h"
#include "trends/trendlegend.h"
#include "trends/trendpicker.h"
#include "trends/trendplot.h"
#include "trends/trendslog.h"
#include "trends/trendticks.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

TrendView::TrendView(QWidget *parent) : QWidget(parent)
{
    m_data = new TrendData(this);
    // The window's controls use 9 pt.
    QFont small = font();
    small.setPointSize(9);
    setFont(small);
}

TrendView::~TrendView() = default;

void TrendView::setVisible(bool visible)
{
    // Built before the first showing, so that the new children are shown with the tab.
    if (visible)
        ensureBuilt();
    QWidget::setVisible(visible);
}

void TrendView::ensureBuilt() const
{
    if (!m_plot)
        const_cast<TrendView *>(this)->build();
}

void TrendView::build()
{
    m_follow = new QCheckBox(this);
    m_follow->setObjectName(QStringLiteral("trend_follow"));
    m_follow->setChecked(true);
    m_reset = new QPushButton(this);
    m_reset->setObjectName(QStringLiteral("trend_reset"));
    m_markers = new QCheckBox(this);
    m_markers->setObjectName(QStringLiteral("trend_markers"));
    m_heatMap = new QCheckBox(this);
    m_heatMap->setObjectName(QStringLiteral("trend_heatmap"));
    m_exportPng = new QPushButton(this);
    m_exportPng->setObjectName(QStringLiteral("trend_exportPng"));
    m_exportCsv = new QPushButton(this);
    m_exportCsv->setObjectName(QStringLiteral("trend_exportCsv"));
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("trend_hint"));
    m_hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_hint->setStyleSheet(QStringLiteral("color: #6c757d;"));
    for (QPushButton *button : {m_reset, m_exportPng, m_exportCsv})
        button->setCursor(Qt::PointingHandCursor);

    auto *tools = new QHBoxLayout;
    tools->setSpacing(10);
    tools->addWidget(m_follow);
    tools->addWidget(m_reset);
    tools->addWidget(m_markers);
    tools->addWidget(m_heatMap);
    tools->addWidget(m_hint, 1);
    tools->addWidget(m_exportPng);
    tools->addWidget(m_exportCsv);

    m_picker = new TrendPicker(this);
    m_picker->setObjectName(QStringLiteral("trend_picker"));
    m_plot = new TrendPlot(this);
    m_plot->setObjectName(QStringLiteral("trend_plot"));
    m_legend = new TrendLegend(this);
    m_legend->setObjectName(QStringLiteral("trend_legend"));
    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("trend_readout"));
    m_markerInfo = new QLabel(this);
    m_markerInfo->setObjectName(QStringLiteral("trend_markerInfo"));
    m_markerInfo->setWordWrap(true);
    m_markerInfo->setVisible(false);

    // The readout changes with every row: on a panel that fills itself, redrawing it does not
    // reach down to the tab's gradient beneath.
    auto *side = new QWidget(this);
    side->setObjectName(QStringLiteral("trend_side"));
    side->setAutoFillBackground(true);
    QPalette sidePalette = side->palette();
    sidePalette.setColor(QPalette::Window, QColor(0xf2, 0xf8, 0xee));
    side->setPalette(sidePalette);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->setSpacing(4);
    sideLayout->addWidget(m_readout);
    sideLayout->addWidget(m_markerInfo);
    sideLayout->addWidget(m_legend, 1);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("trend_splitter"));
    m_splitter->addWidget(m_picker);
    m_splitter->addWidget(m_plot);
    m_splitter->addWidget(side);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setStretchFactor(2, 0);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setSizes({180, 800, 300});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addLayout(tools);
    layout->addWidget(m_splitter, 1);

    m_picker->setTranslator(m_translator);
    m_plot->setTranslator(m_translator);
    m_legend->setTranslator(m_translator);
    m_picker->setData(m_data);
    m_plot->setData(m_data);

    connect(m_picker, &TrendPicker::checkedSeriesChanged, this, &TrendView::onSelectionChanged);
    connect(m_data, &TrendData::seriesChanged, this, &TrendView::onSelectionChanged);
    // Arriving rows update the legend as often as the plot redraws them.
    m_rowTimer.setSingleShot(true);
    m_rowTimer.setInterval(400);
    connect(&m_rowTimer, &QTimer::timeout, this, [this] {
        if (m_plot->cursorRow() < 0)
            updateReadout();
        if (m_plot->markersShown())
            updateMarkerStatistics();
    });
    connect(m_data, &TrendData::rowsAppended, this, [this] {
        // A hidden tab catches up when it is shown.
        if (isVisible() && !m_rowTimer.isActive())
            m_rowTimer.start();
    });
    connect(m_plot, &TrendPlot::cursorChanged, this, &TrendView::updateReadout);
    connect(m_plot, &TrendPlot::markersChanged, this, &TrendView::updateMarkerStatistics);
    connect(m_plot, &TrendPlot::followingChanged, m_follow, &QCheckBox::setChecked);
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on != m_plot->isFollowing())
            m_plot->setFollowing(on);
    });
    connect(m_reset, &QPushButton::clicked, m_plot, &TrendPlot::resetView);
    connect(m_markers, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->setMarkersShown(on);
        m_legend->setStatisticsShown(on);
        m_markerInfo->setVisible(on);
        updateMarkerStatistics();
    });
    connect(m_heatMap, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->setMode(on ? TrendPlot::Mode::HeatMap : TrendPlot::Mode::Lines);
    });
    connect(m_exportPng, &QPushButton::clicked, this, &TrendView::chooseExportPng);
    connect(m_exportCsv, &QPushButton::clicked, this, &TrendView::chooseExportCsv);

    retranslate();
    onSelectionChanged();
}

void TrendView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateReadout();
    updateMarkerStatistics();
}

void TrendView::setModel(RDModel *model)
{
    m_data->setModel(model);
}

void TrendView::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
    if (!m_plot)
        return; // taken up when built
    m_picker->setTranslator(translator);
    m_plot->setTranslator(translator);
    m_legend->setTranslator(translator);
    retranslate();
}

QString TrendView::translated(const QString &text) const
{
    if (!m_translator)
        return text;
    const QString result = m_translator(text);
    return result.isEmpty() ? text : result;
}

void TrendView::retranslate()
{
    m_follow->setText(translated(QStringLiteral("跟随最新")));
    m_reset->setText(translated(QStringLiteral("复位")));
    m_markers->setText(translated(QStringLiteral("标记")));
    m_heatMap->setText(translated(QStringLiteral("热图")));
    m_exportPng->setText(translated(QStringLiteral("导出图片")));
    m_exportCsv->setText(translated(QStringLiteral("导出 CSV")));
    const QString hint =
            translated(QStringLiteral("滚轮缩放时间，拖动平移，右键拖动框选放大，双击复位"));
    m_hint->setText(hint);
    m_hint->setToolTip(hint);
    m_plot->setToolTip(hint);
    fixReadoutSizes();
    // The same row in the new language: rows that arrived meanwhile wait for their turn.
    showReadoutTime();
    updateMarkerStatistics();
}

void TrendView::fixReadoutSizes()
{
    // Sized for the longest text they show: a label of fixed size takes new text without
    // laying out the tab again, which every new row would otherwise cost.
    const QFontMetrics metrics(m_readout->font());
    const QString time = QStringLiteral("0000-00-00 00:00:00.00");
    const int readoutWidth = metrics.horizontalAdvance(translated(QStringLiteral("时间"))
                                                       + QStringLiteral(": ") + time);
    m_readout->setFixedSize(readoutWidth + 8, metrics.height() + 4);
    const QString rows = translated(QStringLiteral("%1 行")).arg(QStringLiteral("0000000"));
    const int markerWidth =
            std::max(metrics.horizontalAdvance(QStringLiteral("A: ") + time),
                     metrics.horizontalAdvance(QStringLiteral("Δt: 0000:00:00.00   ") + rows));
    m_markerInfo->setFixedSize(markerWidth + 8, 3 * metrics.lineSpacing() + 6);
}

void TrendView::onSelectionChanged()
{
    const QList<int> series = m_picker->checkedSeries();
    m_plot->setSeries(series);
    m_legend->setSeries(m_data, series);
    updateReadout();
    updateMarkerStatistics();
}

void TrendView::updateReadout()
{
    const qsizetype rows = m_data->rowCount();
    qsizetype row = m_plot->cursorRow();
    if (row < 0 || row >= rows)
        row = rows - 1;
    std::vector<double> values(size_t(m_data->seriesCount()), std::nan(""));
    if (row >= 0)
        m_data->rowValues(row, values.data());
    m_legend->setValues(values);
    m_readoutRow = row;
    showReadoutTime();
}

void TrendView::showReadoutTime()
{
    const qsizetype row = m_readoutRow < m_data->rowCount() ? m_readoutRow : -1;
    m_readout->setText(
            row >= 0 ? QStringLiteral("%1: %2").arg(translated(QStringLiteral("时间")),
                                                    TrendTicks::formatTime(m_data->times().at(row)))
                     : translated(QStringLiteral("无数据")));
}

void TrendView::updateMarkerStatistics()
{
    if (!m_plot->markersShown() || m_data->rowCount() == 0) {
        m_markerInfo->clear();
        return;
    }
    const qint64 a = m_plot->markerA();
    const qint64 b = m_plot->markerB();
    const TrendTimes &times = m_data->times();
    const qsizetype first = times.lowerBound(std::min(a, b));
    const qsizetype last = times.upperBound(std::max(a, b));
    const QList<int> series = m_legend->series();
    std::vector<TrendSummary::Entry> entries(size_t(series.size()));
    m_data->summarize(first, last, series, entries.data());

    // The change from the row at A to the row at B.
    std::vector<double> atA(size_t(m_data->seriesCount())), atB(atA.size());
    m_data->rowValues(times.nearest(a), atA.data());
    m_data->rowValues(times.nearest(b), atB.data());
    std::vector<double> deltas;
    for (int s : series)
        deltas.push_back(atB[size_t(s)] - atA[size_t(s)]);
    m_legend->setStatistics(deltas, entries);

    m_markerInfo->setText(QStringLiteral("A: %1\nB: %2\nΔt: %3   %4")
                                  .arg(TrendTicks::formatTime(a), TrendTicks::formatTime(b),
                                       TrendTicks::formatDuration(b - a),
                                       translated(QStringLiteral("%1 行"))
                                               .arg(qMax<qsizetype>(0, last - first))));
}

void TrendView::visibleRows(int &first, int &last) const
{
    ensureBuilt();
    const TrendTimes &times = m_data->times();
    first = int(times.lowerBound(m_plot->viewStart()));
    last = int(times.upperBound(m_plot->viewEnd())) - 1;
}

bool TrendView::exportPng(const QString &filePath)
{
    ensureBuilt();
    const QImage image = m_plot->exportImage();
    const bool ok = !image.isNull() && image.save(filePath, "PNG");
    if (!ok)
        qCWarning(lcTrends) << "Could not save" << filePath;
    return ok;
}

CsvWriteResult TrendView::exportCsv(const QString &filePath)
{
    int first = 0, last = -1;
    visibleRows(first, last);
    return TrendCsvExport::write(m_data->model(), first, last, filePath);
}

QString TrendView::readoutText() const
{
    ensureBuilt();
    return m_readout->text();
}

QString TrendView::markerText() const
{
    ensureBuilt();
    return m_markerInfo->text();
}

void TrendView::chooseExportPng()
{
    QString path =
            QFileDialog::getSaveFileName(this, translated(QStringLiteral("导出图片")), QString(),
                                         translated(QStringLiteral("PNG 图片 (*.png)")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        path += QStringLiteral(".png");
    if (!exportPng(path))
        QMessageBox::warning(
                this, translated(QStringLiteral("错误")),
                translated(QStringLiteral("导出失败：%1")).arg(QDir::toNativeSeparators(path)));
}

void TrendView::chooseExportCsv()
{
    QString path =
            QFileDialog::getSaveFileName(this, translated(QStringLiteral("导出 CSV")), QString(),
                                         translated(QStringLiteral("CSV 文件 (*.csv)")));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        path += QStringLiteral(".csv");
    const CsvWriteResult result = exportCsv(path);
    if (!result.ok)
        QMessageBox::warning(
                this, translated(QStringLiteral("错误")),
                translated(QStringLiteral("导出失败：%1")).arg(QDir::toNativeSeparators(path))
                        + QLatin1Char('\n') + result.error);
}
