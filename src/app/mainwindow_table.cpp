// Real-time table actions: pause, export and continuous export, clear, auto-scroll, auto-width.

#include "app/applog.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "datalog/viewexport.h"
#include "i18n/translations.h"
#include "recordingui/recordingcontroller.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QTabWidget>

namespace {

// The paths of two exports name the same file.
bool samePath(const QString &a, const QString &b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

} // namespace

void MainWindow::connectTableActions()
{
    connect(m_tableModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::onRowsInserted);
    connect(ui->run, &QPushButton::clicked, this, &MainWindow::on_run);
    connect(ui->btn_export, &QPushButton::clicked, this, &MainWindow::on_export);
    connect(ui->realtime_export, &QCheckBox::stateChanged, this,
            [this](int state) { setRealTimeExportEnabled(state != Qt::Unchecked); });
    connect(ui->btn_clear, &QPushButton::clicked, this, &MainWindow::on_clear);
    connect(ui->lineresize, &QCheckBox::stateChanged, this, &MainWindow::onLineResizeStateChanged);
    connect(ui->autoruncheck, &QCheckBox::stateChanged, this, &MainWindow::onAutoRunStateChanged);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, [this] {
        if (m_scrollWhenShown && m_autoScrollConnection)
            scrollToBottom();
    });
}

void MainWindow::on_run()
{
    appendEnabled = !appendEnabled;
    showRunButtonText();
}

void MainWindow::showRunButtonText()
{
    const QString chinese = appendEnabled ? QStringLiteral("停止") : QStringLiteral("开始");
    const TranslationMap &dictionary = translationsFor(m_language);
    ui->run->setText(dictionary.isEmpty() ? chinese : lookupTranslation(dictionary, chinese));
}

void MainWindow::on_export()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save CSV"), QString(),
                                                      QStringLiteral("CSV Files (*.csv)"));
    if (name.isEmpty())
        return;
    viewExportToCSV(ui->tableView, name);
}

void MainWindow::viewExportToCSV(QTableView *tableView, const QString &filePath)
{
    if (!tableView)
        return;
    const CsvWriteResult result = ::viewExportToCSV(tableView, filePath);
    if (!result.ok) {
        // A silent failure would let the user believe the log was saved.
        qCWarning(lcApp) << "CSV export to" << filePath << "failed:" << result.error;
        QMessageBox::warning(this, tr2(QStringLiteral("错误"), QStringLiteral("Error")),
                             tr2(QStringLiteral("导出 CSV 失败：%1\n%2"),
                                 QStringLiteral("CSV export failed: %1\n%2"))
                                     .arg(QDir::toNativeSeparators(filePath),
                                          result.errorText().toString(m_language)));
        // A file without its header must not collect rows.
        return;
    }
    // A recording shown in the table takes no live rows: its export is not armed.
    if (!realTimeExportEnabled || !tableView->model()
        || (m_recording && m_recording->isShowingRecording()))
        return;
    // Arming a file twice would write every later row into it twice.
    for (const ArmedFile &armed : std::as_const(m_armedFiles)) {
        if (armed.view == tableView && samePath(armed.path, filePath))
            return;
    }
    m_armedFiles.append({tableView, filePath, false});
    qCDebug(lcApp) << "Real-time export armed:" << filePath;
}

QStringList MainWindow::armedExportFiles() const
{
    QStringList paths;
    for (const ArmedFile &armed : m_armedFiles)
        paths.append(armed.path);
    return paths;
}

void MainWindow::setRealTimeExportEnabled(bool enabled)
{
    realTimeExportEnabled = enabled;
}

void MainWindow::appendRowsToArmedFiles(int first, int last)
{
    bool failing = false;
    for (ArmedFile &armed : m_armedFiles) {
        if (!armed.view)
            continue;
        const CsvWriteResult result = viewAppendRowsToCSV(armed.view, armed.path, first, last);
        if (result.ok) {
            armed.failureShown = false;
            continue;
        }
        failing = true;
        if (armed.failureShown)
            continue;
        armed.failureShown = true;
        m_exportFailure = {
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                armed.path, result.errorText()};
        const QString text = exportFailureText();
        ui->err_info->setText(text);
        qCWarning(lcApp).noquote() << text;
    }
    // Every file takes rows again: its report is no longer true.
    if (m_exportErrorShown && !failing && ui->err_info->text() == exportFailureText())
        ui->err_info->clear();
    m_exportErrorShown = failing;
}

QString MainWindow::standingFailureText() const
{
    if (m_exportErrorShown)
        return exportFailureText();
    if (m_recording && m_recording->isFailing())
        return m_recording->failureText();
    return QString();
}

QString MainWindow::exportFailureText() const
{
    return tr2(QStringLiteral("[%1] 实时导出失败：%2 (%3)"),
               QStringLiteral("[%1] Real-time export failed: %2 (%3)"))
            .arg(m_exportFailure.stamp, QDir::toNativeSeparators(m_exportFailure.path),
                 m_exportFailure.reason.toString(m_language));
}

void MainWindow::on_clear()
{
    auto *model = qobject_cast<RDModel *>(ui->tableView->model());
    if (!model)
        return;
    model->clearData();
    recordCount = 0;
    ui->totalsave->setText(QStringLiteral("0"));
}

void MainWindow::onRowsInserted(const QModelIndex &parent, int start, int end)
{
    Q_UNUSED(parent)
    ++recordCount;
    ui->totalsave->setText(QString::number(recordCount));
    appendRowsToArmedFiles(start, end);
}

void MainWindow::onAutoRunStateChanged(int state)
{
    disconnect(m_autoScrollConnection);
    if (state == Qt::Checked)
        m_autoScrollConnection = connect(m_tableModel, &QAbstractItemModel::rowsInserted, this,
                                         &MainWindow::scrollToBottom);
}

void MainWindow::scrollToBottom()
{
    // Scrolling a hidden table lays it out anew for every row (its row header measures up to
    // 200 labels): scroll once when its tab is shown instead.
    if (!ui->tableView->isVisible()) {
        m_scrollWhenShown = true;
        return;
    }
    m_scrollWhenShown = false;
    ui->tableView->scrollToBottom();
}

void MainWindow::onLineResizeStateChanged(int state)
{
    QHeaderView *header = ui->tableView->horizontalHeader();
    header->setSectionResizeMode(state == Qt::Checked ? QHeaderView::ResizeToContents
                                                      : QHeaderView::Interactive);
}
