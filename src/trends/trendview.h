#pragma once

#include "datalog/csvwriter.h"
#include "i18n/translations.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSplitter;
class RDModel;
class TrendData;
class TrendLegend;
class TrendPicker;
class TrendPlot;

// The trend tab: every value of the real-time table over time. The picker on the left chooses
// the curves, the plot shows them (or the cells as a heat map), the legend on the right reads
// them out at the cursor and between two markers. Fed by the table alone, so a recording loaded
// into the table shows the same way as live rows. Until first shown only the data follows the
// table: the widgets cost start-up time while the tab is not the one shown.
class TrendView : public QWidget
{
    Q_OBJECT

public:
    explicit TrendView(QWidget *parent = nullptr);
    ~TrendView() override;

    void setModel(RDModel *model);
    void setTranslator(const TextTranslator &translator);

    TrendData *data() const { return m_data; }
    // The widgets are built when the tab is first shown, or when first asked for.
    TrendPlot *plot() const
    {
        ensureBuilt();
        return m_plot;
    }
    TrendPicker *picker() const
    {
        ensureBuilt();
        return m_picker;
    }
    TrendLegend *legend() const
    {
        ensureBuilt();
        return m_legend;
    }
    bool isBuilt() const { return m_plot != nullptr; }
    void setVisible(bool visible) override;

    // The plot as shown, with its legend, as a PNG file.
    bool exportPng(const QString &filePath);
    // The rows in view, in the table's CSV format.
    CsvWriteResult exportCsv(const QString &filePath);
    // The rows within the view: first..last, or last < first when none.
    void visibleRows(int &first, int &last) const;

    // The texts of the toolbar's checks and buttons and of the readout lines, for tests.
    QString readoutText() const;
    QString markerText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ensureBuilt() const;
    void build();
    void retranslate();
    void fixReadoutSizes();
    QString translated(const QString &text) const;
    void onSelectionChanged();
    void updateReadout();
    void showReadoutTime();
    void updateMarkerStatistics();
    void chooseExportPng();
    void chooseExportCsv();

    TrendData *m_data = nullptr;
    TrendPicker *m_picker = nullptr;
    TrendPlot *m_plot = nullptr;
    TrendLegend *m_legend = nullptr;
    QSplitter *m_splitter = nullptr;
    QCheckBox *m_follow = nullptr;
    QPushButton *m_reset = nullptr;
    QCheckBox *m_markers = nullptr;
    QCheckBox *m_heatMap = nullptr;
    QPushButton *m_exportPng = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QLabel *m_hint = nullptr;
    QLabel *m_readout = nullptr;
    QLabel *m_markerInfo = nullptr;
    TextTranslator m_translator;
    QTimer m_rowTimer;
    qsizetype m_readoutRow = -1; // the row the legend shows
};
