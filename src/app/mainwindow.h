#pragma once

#include "i18n/translations.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace Ui {
class MainWindow;
}

class AboutDialog;
class DataProcessor;
class ProtocolConfig;
class ProtocolFrame;
class ProtocolManager;
class QPushButton;
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
    // The style sheet from the resource, or from the fallback file when the resource is absent.
    static QString readStyleSheet(const QString &resourcePath, const QString &fallbackPath);

signals:
    void handleCRCError();

public slots:
    void findFreePorts();
    void showAboutDialog();
    void saveSettings();
    void loadSettings();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void construct();
    void loadProtocolDirectory();
    void registerDeviceNotifications();
    void setupConnections();
    void setupTableModel();
    void initUiAfterSetup();
    void sizeValueFields();
    void placeAboutButton();
    // Texts composed in code: Chinese, or the current language with the English fallback.
    QString tr2(const QString &chinese, const QString &english) const;
    TextTranslator unitTranslator() const;

    Options m_options;
    Ui::MainWindow *ui = nullptr;
    QString currentConnectedPortName;
    SerialInterface *serial = nullptr;
    ProtocolManager *protocolManager = nullptr;
    ProtocolConfig *protocolConfig = nullptr;
    ProtocolFrame *protocolFrame = nullptr;
#ifdef Q_OS_WIN
    void *deviceNotifyHandle = nullptr;
#endif
    StatusBarManager *statusBarManager = nullptr;
    DataProcessor *dataProcessor = nullptr;
    SerialCommHandler *serialCommHandler = nullptr;
    int m_language = Chinese;

    QString m_protocolDirectory;
    RDModel *m_tableModel = nullptr;
    VoltageChartWidget *m_chart = nullptr;
    QPushButton *m_aboutButton = nullptr;
    QPointer<AboutDialog> m_aboutDialog;
};
