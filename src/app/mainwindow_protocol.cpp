// Protocol selection: the selector, switching while idle, and re-pointing the protocol's users.

#include "acquisition/acquisitionengine.h"
#include "app/applog.h"
#include "app/mainwindow.h"
#include "datalog/rdmodel.h"
#include "protocol/protocolmanager.h"
#include "ui_mainwindow.h"
#include "widgets/switchbutton.h"

#include <QMessageBox>

namespace {

QString protocolToolTip(const ProtocolManager *manager, const QString &name)
{
    const QString description = manager->protocolDescription(name);
    return description.isEmpty() ? manager->displayName(name) : description;
}

} // namespace

void MainWindow::fillProtocolSelector()
{
    QComboBox *selector = ui->protocolSelector;
    for (const QString &name : protocolManager->availableProtocols()) {
        selector->addItem(name, name);
        const QString tip = protocolToolTip(protocolManager, name);
        if (!tip.isEmpty())
            selector->setItemData(selector->count() - 1, tip, Qt::ToolTipRole);
    }
    const int current = selector->findData(protocolManager->currentProtocolName(), Qt::UserRole,
                                           Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (current >= 0)
        selector->setCurrentIndex(current);
    updateProtocolToolTip();
    // Only now: filling and the first selection must not switch anything.
    connect(selector, &QComboBox::currentIndexChanged, this, &MainWindow::onProtocolSelected);
}

void MainWindow::updateProtocolToolTip()
{
    QComboBox *selector = ui->protocolSelector;
    if (selector->currentIndex() < 0) {
        selector->setToolTip(QString());
        return;
    }
    selector->setToolTip(protocolToolTip(protocolManager, selector->currentData().toString()));
}

void MainWindow::onProtocolSelected(int index)
{
    QComboBox *selector = ui->protocolSelector;
    if (index < 0) {
        updateProtocolToolTip();
        return;
    }
    const QString name = selector->itemData(index).toString();
    const QString label = protocolManager->displayName(name);
    if (name.isEmpty() || name == protocolManager->currentProtocolName()) {
        updateProtocolToolTip();
        return;
    }
    auto selectCurrent = [this, selector] {
        const int current = selector->findData(protocolManager->currentProtocolName(), Qt::UserRole,
                                               Qt::MatchExactly | Qt::MatchCaseSensitive);
        selector->setCurrentIndex(current);
    };

    if (ui->openCom->isChecked()) {
        QMessageBox::information(this, tr2(QStringLiteral("提示"), QStringLiteral("Info")),
                                 tr2(QStringLiteral("请先停止数据采集再切换协议"),
                                     QStringLiteral("Stop data acquisition before switching "
                                                    "protocols")));
        selectCurrent();
        updateProtocolToolTip();
        return;
    }

    if (protocolManager->switchProtocol(name)) {
        QMessageBox::information(
                this, tr2(QStringLiteral("成功"), QStringLiteral("Success")),
                tr2(QStringLiteral("已切换到协议: %1"), QStringLiteral("Switched to protocol: %1"))
                        .arg(label));
        if (auto *model = qobject_cast<RDModel *>(ui->tableView->model()))
            model->clearData();
    } else {
        qCWarning(lcApp) << "Protocol switch to" << name
                         << "failed:" << protocolManager->lastError();
        QMessageBox box(QMessageBox::Warning, tr2(QStringLiteral("错误"), QStringLiteral("Error")),
                        tr2(QStringLiteral("切换协议失败: %1"),
                            QStringLiteral("Failed to switch protocol: %1"))
                                .arg(label),
                        QMessageBox::Ok, this);
        // A protocol author needs to know why the file was refused.
        box.setDetailedText(protocolManager->lastError());
        box.exec();
        selectCurrent();
    }
    updateProtocolToolTip();
}

void MainWindow::onProtocolChanged()
{
    protocolConfig = protocolManager->currentConfig();
    m_engine->setProtocolConfig(protocolConfig);
    updateActiveCommand();
    if (auto *model = qobject_cast<RDModel *>(ui->tableView->model()))
        model->setProtocolConfig(protocolConfig);
}
