// The trend tab: created once the table model exists, fed by it, labelled with the language.

#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "trends/trendview.h"
#include "ui_mainwindow.h"

#include <QIcon>

namespace {

// Spaced like the form's tab titles.
const QString kTrendTabTitle = QStringLiteral(" 趋势 ");

} // namespace

void MainWindow::setupTrendTab()
{
    // After the form's texts were recorded, so the language switch leaves the view's own texts
    // to the view.
    m_trendView = new TrendView(ui->tabWidget);
    m_trendView->setObjectName(QStringLiteral("tab_trends"));
    ui->tabWidget->addTab(m_trendView, QIcon(QStringLiteral(":/icons/Icon/trends.png")),
                          kTrendTabTitle);
    m_trendView->setModel(m_tableModel);
    retranslateTrendTab();
}

void MainWindow::retranslateTrendTab()
{
    if (!m_trendView)
        return;
    const int index = ui->tabWidget->indexOf(m_trendView);
    if (index >= 0)
        ui->tabWidget->setTabText(index,
                                  lookupTranslation(translationsFor(m_language), kTrendTabTitle));
    m_trendView->setTranslator(unitTranslator());
}
