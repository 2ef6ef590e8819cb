#pragma once

#include "acquisition/acquisitionevent.h"
#include "acquisition/sample.h"
#include "i18n/localizedtext.h"
#include "i18n/translations.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <memory>

namespace Ui {
class MainWindow;
}

class AboutDialog;
class AcquisitionEngine;
class AlarmDisplay;
class AlarmMonitor;
class MqttPublishControl;
class DataProcessor;
class DeviceNotifier;
class ProtocolConfig;
class ProtocolFrame;
class ProtocolManager;
class PortWatcher;
class QCheckBox;
class QComboBox;
class QHeaderView;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QSerialPortInfo;
class QTabBar;
class QTabWidget;
class QTableView;
class QTimer;
class SwitchButton;
class TrendView;
class RDModel;
class RecordingController;
class SerialCommHandler;
class SerialInterface;
class StatusBarManager;
class VoltageChartWidget;

// The application's controller: owns the widget tree and every long-lived object.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    struct Options
    {
        // Empty: "protocols" beside the executable, else the source tree's protocols/.
        QString protocolDirectory;
        // Ports the system does not enumerate (pseudo-terminals, socat links), listed last.
        QStringList virtualPorts;
    };

    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(const Options &options, QWidget *parent = nullptr);
    ~MainWindow() override;

    Ui::MainWindow *form() const { return ui; }
    QString protocolDirectory() const { return m_protocolDirectory; }
    ProtocolConfig *currentProtocolConfig() const { return protocolConfig; }
    ProtocolManager *protocols() const { return protocolManager; }
    // The acquisition pipeline the window shows; consumers attach to its signals.
    AcquisitionEngine *engine() const { return m_engine; }
    QCheckBox *autoReconnectBox() const { return m_autoReconnect; }
    RecordingController *recording() const { return m_recording; }
    AlarmMonitor *alarmMonitor() const { return m_alarms; }
    AlarmDisplay *alarmDisplay() const { return m_alarmDisplay; }
    MqttPublishControl *mqttControl() const { return m_mqtt; }
    RDModel *tableModel() const { return m_tableModel; }
    VoltageChartWidget *voltageChart() const { return m_chart; }
    TrendView *trendView() const { return m_trendView; }
    QPushButton *aboutButton() const { return m_aboutButton; }
    AboutDialog *aboutDialog() const;
    int languageIndex() const { return m_language; }

    // The directory used when none is given: beside the executable, else the development one.
    static QString resolveProtocolDirectory();
    // System name of a port selector item: the text before the first "(", trimmed.
    static QString systemPortName(const QString &itemText);
    // The style sheet from the resource, or from the fallback file when the resource is absent.
    static QString readStyleSheet(const QString &resourcePath, const QString &fallbackPath);

signals:
    void handleCRCError();

public slots:
    void findFreePorts();
    void onLanguageIndexChanged(int index);
    void showAboutDialog();
    void handleDataSend(bool success);
    void handleDataReceivedWithConfig(const QString &data);
    void handleErrorOccurred(const QString &error);
    void handleTimeoutOccurred();
    void handleBusBusy();
    void handleCRC();
    void handlePortLost(const QString &portName);
    void SwitchLight(QLabel *label, const QString &offPixmap);
    void setupStatusSwitcher(QLabel *label, const QString &onPixmap, const QString &offPixmap,
                             int interval);
    void SendTaskRun();
    void SendTaskStop();
    void saveSettings();
    void loadSettings();
    void setRealTimeExportEnabled(bool enabled);
    void onRowsInserted(const QModelIndex &parent, int start, int end);
    void viewExportToCSV(QTableView *tableView, const QString &filePath);
    void onLineResizeStateChanged(int state);
    void onAutoRunStateChanged(int state);
    void scrollToBottom();
    void onHeaderSectionResized(int logicalIndex, int oldSize, int newSize);
    void onHeaderSectionCountChanged(int oldCount, int newCount);

public:
    // Table actions. Not declared as slots: the form's name-based auto-connection would take
    // "on_" names for its own and warn about each.
    void on_run();
    void on_clear();
    void on_export();
    qint32 recordedCount() const { return recordCount; }
    bool isRecording() const { return appendEnabled; }
    QStringList armedExportFiles() const;

    // Protocol selection
    void onProtocolSelected(int index);
    void updateProtocolToolTip();

    // Language and text fitting
    void applyLanguage(int language);
    void fitWidgetFont(QWidget *widget, const QString &text);
    void fitTabBarFont(QTabBar *tabBar);
    void fitHeaderFont(QHeaderView *header);
    // The font a widget had when a fitter first saw it; invalid when never seen.
    QFont recordedFont(const QWidget *widget) const { return m_fontCache.value(widget); }

    // Hot-plug: the two notices, from the operating system or the port watcher.
    void onSerialPortArrived();
    void onSerialPortRemoved();

    // Acquisition
    void updateActiveCommand();
    static qint32 parseTimerInterval(const QString &text);
    void updateDateTime();
    QString activeCommand() const { return activeCommandName; }
    qint32 receivedCount() const { return recvlens; }
    qint32 sentCount() const { return sendlens; }

    // Display of one received frame
    void onSampleDecoded(const Sample &sample);
    void onLinkEvent(const AcquisitionEvent &event);
    QString handleDataReceived(const QString &frameText);
    void appendDataRowIfNeeded(const QVariantHash &values);
    void updateUIFields(const QString &commandName, const QVariantHash &values);
    void updateWorkStateLamps(int code);
    void clearReceiveStats();
    void clearSendStats();
    // True when the frame carries two checksum characters that differ from its computed checksum.
    static bool hasChecksumMismatch(const QString &frame, const QString &soi, const QString &eoi);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void construct();
    bool initSerialPort();
    void onIntervalChanged(const QString &text);
    void onAcquisitionStarted();
    void onReconnected(const QString &portName);
    void setupAutoReconnect();
    void setupRecording();
    void setupAlarms();
    void loadAlarmRules();
    void showAlarmColumn(bool shown);
    void onSendSuccess();
    void switchOff();
    QString timeStamp() const;
    void loadProtocolDirectory();
    void registerDeviceNotifications(const QList<QSerialPortInfo> &availablePorts);
    void fillPortSelector(const QList<QSerialPortInfo> &availablePorts);
    void setupConnections();
    void setupTableModel();
    void sizeColumnsFromProtocol();
    void setupTrendTab();
    void retranslateTrendTab();
    void applyStyleSheet();
    void initUiAfterSetup();
    void sizeValueFields();
    void placeAboutButton();
    void scheduleVoltageViewCheck();
    void updateVoltageView();
    QString selectedPortName() const;
    bool isPortPresent(const QString &systemName) const;
    void labelVirtualPorts();
    void connectTableActions();
    void appendRowsToArmedFiles(int first, int last);
    QString exportFailureText() const;
    // What must stay in the error line once a passing report clears: a failing log.
    QString standingFailureText() const;
    void showRunButtonText();
    void fillProtocolSelector();
    void onProtocolChanged();
    void setupLanguageSelector();
    void fillLanguageSelector();
    void applyTooltips();
    void captureSourceTexts();
    void prepareWidget(QWidget *widget);
    void watchWidget(QWidget *widget);
    void prepareHeader(QHeaderView *header);
    void refitWatched(QWidget *widget);
    void fitSwitch(SwitchButton *button);
    QFont baseFont(QWidget *widget);
    // Texts composed in code: Chinese, or the current language with the English fallback.
    QString tr2(const QString &chinese, const QString &english) const;
    TextTranslator unitTranslator() const;

    Options m_options;
    bool appendEnabled = true;
    Ui::MainWindow *ui = nullptr;
    QString currentConnectedPortName;
    AcquisitionEngine *m_engine = nullptr;
    QCheckBox *m_autoReconnect = nullptr;
    RecordingController *m_recording = nullptr;
    AlarmMonitor *m_alarms = nullptr;
    AlarmDisplay *m_alarmDisplay = nullptr;
    // Publishing to an MQTT broker, where it is built.
    MqttPublishControl *m_mqtt = nullptr;
    // Parts of the engine, reached directly where the window shows their state.
    SerialInterface *serial = nullptr;
    QTimer *dateTimeTimer = nullptr;
    ProtocolManager *protocolManager = nullptr;
    ProtocolConfig *protocolConfig = nullptr;
    ProtocolFrame *protocolFrame = nullptr;
    QString activeCommandName;
    qint32 recvlens = 0;
    qint32 sendlens = 0;
    StatusBarManager *statusBarManager = nullptr;
    DataProcessor *dataProcessor = nullptr;
    SerialCommHandler *serialCommHandler = nullptr;
    int m_language = Chinese;
    // The language as the translators handed to children read it: they may outlive the window
    // while its children are torn down.
    std::shared_ptr<int> m_sharedLanguage = std::make_shared<int>(Chinese);
    // A timeout report stays in the error line until the BMS answers again.
    bool m_timeoutShown = false;
    QString m_lastFrameText; // for the raw frame line, filled in when it is shown
    // Likewise a failing continuous export, until its file takes rows again: shown again
    // whenever a passing link report is cleared.
    bool m_exportErrorShown = false;
    struct ExportFailure
    {
        QString stamp;
        QString path;
        LocalizedText reason;
    };
    ExportFailure m_exportFailure; // the last one reported

    QString m_protocolDirectory;
    RDModel *m_tableModel = nullptr;
    VoltageChartWidget *m_chart = nullptr;
    TrendView *m_trendView = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QPointer<AboutDialog> m_aboutDialog;
    // Value fields by object name: looked up for every received frame.
    QHash<QString, QLineEdit *> m_valueFields;
    QList<QLabel *> m_workStateLamps; // the fifteen, found once at start-up
    bool m_viewCheckPending = false;

    bool realTimeExportEnabled = false;
    qint32 recordCount = 0;
    struct ArmedFile
    {
        QPointer<QTableView> view;
        QString path;
        bool failureShown = false; // a failing append is reported once until it works again
    };
    QList<ArmedFile> m_armedFiles;
    QMetaObject::Connection m_autoScrollConnection;
    // A row arrived while auto-scroll was on and the table hidden: scroll when it is shown.
    bool m_scrollWhenShown = false;

    PortWatcher *m_portWatcher = nullptr;
    DeviceNotifier *m_deviceNotifier = nullptr;

    // Texts as the form set them, re-applied through the dictionary at each language change.
    struct SwitchTexts
    {
        QString off;
        QString on;
    };
    bool m_textsCaptured = false;
    QList<QPair<QPointer<QWidget>, QString>> m_textCache;
    QList<QPair<QPointer<QTabWidget>, QStringList>> m_tabCache;
    QList<QPair<QPointer<SwitchButton>, SwitchTexts>> m_switchCache;
    QString m_windowTitle;
    // Fitters always start again from the font a widget had when first seen.
    QHash<const QObject *, QFont> m_fontCache;
    QSet<const QObject *> m_watched;
    QList<QPointer<QWidget>> m_deferredRefits;
    bool m_headerFitPending = false;
};
