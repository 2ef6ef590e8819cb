#include "app/mainwindow.h"

#include "acquisition/acquisitionengine.h"
#include "acquisition/framedecoder.h"
#include "app/applog.h"
#include "datalog/adaptiveitemdelegate.h"
#include "datalog/rdmodel.h"
#include "dialogs/aboutdialog.h"
#include "protocol/protocolconfig.h"
#include "protocol/protocolmanager.h"
#include "serial/statusbarmanager.h"
#include "ui_mainwindow.h"
#include "widgets/alarmdisplay.h"
#include "widgets/backdroppainter.h"
#include "widgets/switchbutton.h"
#include "widgets/valuefieldpainter.h"
#include "widgets/voltagechartwidget.h"

#ifdef CELLSCRIBE_HAVE_MQTT
#include "dialogs/mqttpublishcontrol.h"
#endif

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTimer>

namespace {

// Settings store and its keys; organisation and application are set by main().
const char kOrganisation[] = "TRBMS";
const char kApplication[] = "BV-BMS";
const QString kPortKey = QStringLiteral("portName");
const QString kBaudKey = QStringLiteral("baudRate");
const QString kIntervalKey = QStringLiteral("proid");
const QString kLanguageKey = QStringLiteral("language");
const QString kAutoReconnectKey = QStringLiteral("autoReconnect");
const QString kAlarmColumnKey = QStringLiteral("alarmColumn");

bool selectItemByText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
    return index >= 0;
}

// A virtual port's label changes with the language and the version; its path does not.
void selectVirtualPortOf(QComboBox *ports, const QString &savedText)
{
    for (int i = 0; i < ports->count(); ++i) {
        const QString path = ports->itemData(i).toString();
        if (!path.isEmpty() && savedText.startsWith(path + QStringLiteral(" ("))) {
            ports->setCurrentIndex(i);
            return;
        }
    }
}

} // namespace

QString MainWindow::systemPortName(const QString &itemText)
{
    const qsizetype paren = itemText.indexOf(QLatin1Char('('));
    return (paren < 0 ? itemText : itemText.left(paren)).trimmed();
}

MainWindow::MainWindow(QWidget *parent) : MainWindow(Options(), parent) { }

MainWindow::MainWindow(const Options &options, QWidget *parent)
    : QMainWindow(parent), m_options(options)
{
    construct();
}

void MainWindow::construct()
{
    ui = new Ui::MainWindow;
    m_engine = new AcquisitionEngine(this);
    serial = m_engine->serialInterface();
    serialCommHandler = m_engine->requestHandler();
    protocolFrame = m_engine->decoder()->frameStore();
    dataProcessor = m_engine->decoder()->processor();
    protocolManager = new ProtocolManager(this);

    // The window's sheet is in place before the form's widgets exist: each is styled once, when
    // first polished, instead of being polished plainly and then again under the sheet.
    applyStyleSheet();
    ui->setupUi(this);
    for (QLineEdit *field : findChildren<QLineEdit *>()) {
        if (field->objectName().startsWith(QLatin1String("data_"))) {
            m_valueFields.insert(field->objectName(), field);
            new ValueFieldPainter(field);
        }
    }
    // The bottom bar's counters and link lamps change with every frame, the clock every second:
    // they paint over a picture of what lies beneath them rather than having it repainted.
    for (const char *name :
         {"com_recvs", "com_sends", "com_recvs_time", "statu_tx", "statu_rx", "lblDateTime"}) {
        if (auto *label = findChild<QLabel *>(QLatin1String(name)))
            new BackdropPainter(label);
    }

    statusBarManager = new StatusBarManager(this, this);
    statusBarManager->setTranslator(unitTranslator());
    if (!initSerialPort())
        qCWarning(lcApp) << "Failed to initialize serial interface connections";

    if (QHeaderView *header = ui->tableView->horizontalHeader())
        prepareHeader(header);
    // Cells shrink their font or elide instead of being cut.
    if (QAbstractItemDelegate *old = ui->tableView->itemDelegate();
        old && old->parent() == ui->tableView)
        delete old;
    ui->tableView->setItemDelegate(new AdaptiveItemDelegate(ui->tableView));

    loadProtocolDirectory();
    // One enumeration, which is slow, for the port selector and the hot-plug watcher.
    const QList<QSerialPortInfo> availablePorts = QSerialPortInfo::availablePorts();
    registerDeviceNotifications(availablePorts);

    for (QWidget *widget :
         {static_cast<QWidget *>(ui->portName), static_cast<QWidget *>(ui->com_recvs),
          static_cast<QWidget *>(ui->com_recvs_mark), static_cast<QWidget *>(ui->com_sends),
          static_cast<QWidget *>(ui->com_sends_mark), static_cast<QWidget *>(ui->statu_rx_mark)})
        widget->installEventFilter(this);

    fillPortSelector(availablePorts);
    initUiAfterSetup();
    setupAutoReconnect();
#ifdef CELLSCRIBE_HAVE_MQTT
    // Publishing follows the engine by itself; its button sits beside the reconnect box.
    m_mqtt = new MqttPublishControl(m_engine, QString::fromLatin1(kOrganisation),
                                    QString::fromLatin1(kApplication), this);
    if (auto *row = qobject_cast<QBoxLayout *>(m_autoReconnect->parentWidget()->layout()))
        row->insertWidget(row->indexOf(m_autoReconnect) + 1,
                          m_mqtt->createButton(m_autoReconnect->parentWidget()));
    connect(m_mqtt, &MqttPublishControl::statusMessage, ui->err_info, &QLabel::setText);
#endif
    setupConnections();
    setupLanguageSelector();
    applyLanguage(m_language);
    fillProtocolSelector();
    setupTableModel();
    setupTrendTab();
    connectTableActions();
    // After the first language pass: the alarm parts word their texts themselves.
    setupAlarms();
    loadSettings();
    // After the form's texts were taken for language switches: the recording words its own.
    setupRecording();
    // A port named on the command line is the one meant, unless the saved port is one of them.
    if (!m_options.virtualPorts.isEmpty()
        && !m_options.virtualPorts.contains(ui->portName->currentData().toString()))
        ui->portName->setCurrentIndex(ui->portName->findData(m_options.virtualPorts.first()));
}

MainWindow::~MainWindow()
{
    if (m_engine) {
        disconnect(m_engine, nullptr, this, nullptr);
        m_engine->stop();
    }
    // The switch must not run the stop path on a half-destroyed window.
    if (ui && ui->openCom)
        disconnect(ui->openCom, nullptr, this, nullptr);
    if (dateTimeTimer) {
        dateTimeTimer->stop();
        disconnect(dateTimeTimer, nullptr, this, nullptr);
    }
    saveSettings();
    // The widgets outlive these members: their destruction must not reach the caches.
    for (const QObject *watched : std::as_const(m_watched))
        disconnect(watched, &QObject::destroyed, this, nullptr);
    m_watched.clear();
    delete ui;
    ui = nullptr;
}

QString MainWindow::resolveProtocolDirectory()
{
    return ProtocolManager::defaultDirectory();
}

void MainWindow::loadProtocolDirectory()
{
    m_protocolDirectory = m_options.protocolDirectory.isEmpty() ? resolveProtocolDirectory()
                                                                : m_options.protocolDirectory;
    if (protocolManager->loadProtocols(m_protocolDirectory)) {
        // The same re-pointing as after a switch.
        onProtocolChanged();
        connect(protocolManager, &ProtocolManager::protocolChanged, this,
                &MainWindow::onProtocolChanged);
        return;
    }
    activeCommandName.clear();
    qCWarning(lcApp) << "Failed to load protocols from" << m_protocolDirectory;
    QMessageBox::warning(
            this, tr2(QStringLiteral("警告"), QStringLiteral("Warning")),
            tr2(QStringLiteral(
                        "无法加载协议文件，请确保 protocols 目录存在并包含有效的协议配置文件。\n"
                        "路径: %1"),
                QStringLiteral("Unable to load protocol files. Ensure the protocols directory "
                               "exists and contains valid configuration files.\nPath: %1"))
                    .arg(QDir::toNativeSeparators(m_protocolDirectory)));
}

bool MainWindow::initSerialPort()
{
    if (!m_engine) {
        qCCritical(lcApp) << "initSerialPort: serial is null, cannot initialize!";
        return false;
    }
    // Repeated calls must not duplicate a connection.
    disconnect(m_engine, nullptr, this, nullptr);
    connect(m_engine, &AcquisitionEngine::sampleDecoded, this, &MainWindow::onSampleDecoded);
    connect(m_engine, &AcquisitionEngine::linkEvent, this, &MainWindow::onLinkEvent);
    connect(m_engine, &AcquisitionEngine::requestWritten, this, &MainWindow::handleDataSend);
    connect(m_engine, &AcquisitionEngine::frameTraffic, this, [this](const FrameRecord &record) {
        if (record.direction == FrameRecord::Direction::Tx)
            onSendSuccess();
    });
    return true;
}

void MainWindow::setupConnections()
{
    connect(ui->openCom, &SwitchButton::checkedChanged, this, [this](bool checked) {
        if (checked)
            SendTaskRun();
        else
            SendTaskStop();
    });
    connect(ui->proid, &QComboBox::currentTextChanged, this, &MainWindow::onIntervalChanged);
    connect(ui->proid, &QComboBox::currentIndexChanged, this, &MainWindow::saveSettings);
    connect(ui->portName, &QComboBox::currentIndexChanged, this, [this] {
        if (!ui->openCom->isChecked())
            currentConnectedPortName = selectedPortName();
        saveSettings();
    });
    connect(ui->bard, &QComboBox::currentIndexChanged, this, &MainWindow::saveSettings);
    connect(this, &MainWindow::handleCRCError, this, &MainWindow::handleCRC);
    // The first port is selected before the connection exists.
    currentConnectedPortName = selectedPortName();
}

QString MainWindow::selectedPortName() const
{
    // A virtual port carries its path, which may itself hold a "(".
    const QString path = ui->portName->currentData().toString();
    return path.isEmpty() ? systemPortName(ui->portName->currentText()) : path;
}

void MainWindow::setupTableModel()
{
    if (QAbstractItemModel *old = ui->tableView->model()) {
        ui->tableView->setModel(nullptr);
        if (old->parent() == ui->tableView || old->parent() == this)
            delete old;
    }
    m_tableModel = new RDModel(this);
    if (protocolConfig)
        m_tableModel->setProtocolConfig(protocolConfig);
    ui->tableView->setModel(m_tableModel);
    // The protocol's widths, not measured ones: measuring every header under the style sheet
    // is slow, and the protocol's widths are chosen for the values the columns show.
    sizeColumnsFromProtocol();
    connect(m_tableModel, &RDModel::columnsChanged, this, &MainWindow::sizeColumnsFromProtocol);
    m_tableModel->setTranslator(unitTranslator());
    m_chart->setTranslator(unitTranslator());
}

void MainWindow::sizeColumnsFromProtocol()
{
    if (!m_tableModel || ui->tableView->model() != m_tableModel)
        return;
    const QList<TableColumn> columns = m_tableModel->columns();
    for (int c = 0; c < columns.size(); ++c) {
        if (columns.at(c).width > 0)
            ui->tableView->setColumnWidth(c, columns.at(c).width);
    }
}

void MainWindow::saveSettings()
{
    if (!ui || !ui->portName || !ui->bard || !ui->proid)
        return;
    QSettings settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    settings.setValue(kPortKey, ui->portName->currentText());
    settings.setValue(kBaudKey, ui->bard->currentText());
    settings.setValue(kIntervalKey, ui->proid->currentText());
    settings.setValue(kLanguageKey, m_language);
    if (m_autoReconnect)
        settings.setValue(kAutoReconnectKey, m_autoReconnect->isChecked());
    if (m_alarmDisplay)
        settings.setValue(kAlarmColumnKey, m_alarmDisplay->alarmColumnShown());
}

void MainWindow::loadSettings()
{
    QSettings settings(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    const QString port = settings.value(kPortKey).toString();
    const QString baud = settings.value(kBaudKey).toString();
    const QString interval = settings.value(kIntervalKey).toString();
    bool ok = false;
    int language = settings.value(kLanguageKey, 0).toInt(&ok);
    // A stored value outside the three languages is treated as none stored.
    if (!ok || language < Chinese || language > German)
        language = Chinese;
    if (language == m_language) {
        fillLanguageSelector();
        applyTooltips();
    } else {
        applyLanguage(language);
    }

    if (!selectItemByText(ui->portName, port))
        selectVirtualPortOf(ui->portName, port);
    selectItemByText(ui->bard, baud);
    selectItemByText(ui->proid, interval);
    if (m_autoReconnect) {
        const QSignalBlocker blocker(m_autoReconnect);
        m_autoReconnect->setChecked(settings.value(kAutoReconnectKey, false).toBool());
    }
    if (m_alarmDisplay)
        m_alarmDisplay->setAlarmColumnShown(settings.value(kAlarmColumnKey, false).toBool());
}

AboutDialog *MainWindow::aboutDialog() const
{
    return m_aboutDialog.data();
}

void MainWindow::showAboutDialog()
{
    if (!m_aboutDialog) {
        m_aboutDialog = new AboutDialog(this);
        m_aboutDialog->setTranslator(unitTranslator());
    }
    m_aboutDialog->refreshTexts();
    m_aboutDialog->show();
    m_aboutDialog->raise();
    m_aboutDialog->activateWindow();
}

QString MainWindow::tr2(const QString &chinese, const QString &english) const
{
    return translateOr(m_language, chinese, english);
}

TextTranslator MainWindow::unitTranslator() const
{
    // Reads the language at each call, so a language change shows at the next redraw.
    return [language = m_sharedLanguage](const QString &text) {
        return translateWithUnit(*language, text);
    };
}
