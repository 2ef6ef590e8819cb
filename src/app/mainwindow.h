#pragma once

#include "i18n/translations.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantHash>

namespace Ui {
class MainWindow;
}

class AboutDialog;
class DataProcessor;
class ProtocolConfig;
class ProtocolFrame;
class ProtocolManager;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class RDModel;
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
    RDModel *tableModel() const { return m_tableModel; }
    VoltageChartWidget *voltageChart() const { return m_chart; }
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

public:
    // Acquisition
    void updateActiveCommand();
    static qint32 parseTimerInterval(const QString &text);
    void updateDateTime();
    QString activeCommand() const { return activeCommandName; }
    qint32 receivedCount() const { return recvlens; }
    qint32 sentCount() const { return sendlens; }

    // Display of one received frame
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

private:
    void construct();
    bool initSerialPort();
    void onIntervalChanged(const QString &text);
    void onSendSuccess();
    void switchOff();
    QString timeStamp() const;
    void loadProtocolDirectory();
    void registerDeviceNotifications();
    void setupConnections();
    void setupTableModel();
    void initUiAfterSetup();
    void sizeValueFields();
    void placeAboutButton();
    void updateVoltageView();
    QString selectedPortName() const;
    // Texts composed in code: Chinese, or the current language with the English fallback.
    QString tr2(const QString &chinese, const QString &english) const;
    TextTranslator unitTranslator() const;

    Options m_options;
    bool appendEnabled = true;
    Ui::MainWindow *ui = nullptr;
    QString currentConnectedPortName;
    SerialInterface *serial = nullptr;
    QTimer *dateTimeTimer = nullptr;
    ProtocolManager *protocolManager = nullptr;
    ProtocolConfig *protocolConfig = nullptr;
    ProtocolFrame *protocolFrame = nullptr;
    QString activeCommandName;
#ifdef Q_OS_WIN
    void *deviceNotifyHandle = nullptr;
#endif
    qint32 recvlens = 0;
    qint32 sendlens = 0;
    StatusBarManager *statusBarManager = nullptr;
    DataProcessor *dataProcessor = nullptr;
    SerialCommHandler *serialCommHandler = nullptr;
    int m_language = Chinese;
    bool sendSuccessConnected = false;
    // A timeout report stays in the error line until the BMS answers again.
    bool m_timeoutShown = false;

    QString m_protocolDirectory;
    RDModel *m_tableModel = nullptr;
    VoltageChartWidget *m_chart = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QPointer<AboutDialog> m_aboutDialog;
    // Value fields by object name: looked up for every received frame.
    QHash<QString, QLineEdit *> m_valueFields;
    QList<QLabel *> m_workStateLamps; // the fifteen, found once at start-up
    bool m_viewCheckPending = false;
};
