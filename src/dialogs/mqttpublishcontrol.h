#pragma once

#include "acquisition/acquisitionengine.h"
#include "dialogs/mqttpublishoptions.h"

#include <QObject>
#include <QPointer>
#include <QString>

class MqttPublisher;
class MqttSettingsDialog;
class QPushButton;
class QWidget;

// The window's publishing to an MQTT broker: the settings (MqttOptionsStore), their dialog, and a
// publisher that follows the acquisition engine (started with a run when publishing is on,
// stopped with it, fed every decoded frame). The window only places the button, passes the
// language on and shows statusMessage() in its error line.
class MqttPublishControl : public QObject
{
    Q_OBJECT

public:
    // organisation, application: the window's settings store.
    MqttPublishControl(AcquisitionEngine *engine, const QString &organisation,
                       const QString &application, QWidget *window);
    ~MqttPublishControl() override;

    // "MQTT 设置…", a child of parent, opening the dialog; made once.
    QPushButton *createButton(QWidget *parent);
    void setLanguage(int language);

    MqttPublishOptions options() const;
    MqttPublisher *publisher() const { return m_publisher; }
    MqttSettingsDialog *dialog() const;

public slots:
    void showDialog();

signals:
    // A broker event worded in the current language, for the window's error line. The window
    // clears that line at the next request, so the last one also stays on the button's tooltip
    // (red while something is wrong) and in the dialog with the message counts.
    void statusMessage(const QString &text);

private:
    QString say(const char *chinese, const char *english) const;
    void report(const QString &text, bool problem);
    void showStatus();
    void onEngineState(AcquisitionEngine::State state);
    void startPublishing();
    void applyDialog();
    void removeFromHomeAssistant();

    AcquisitionEngine *m_engine;
    QWidget *m_window;
    QString m_organisation;
    QString m_application;
    int m_language = 0;
    MqttPublisher *m_publisher = nullptr;
    // A publisher of its own for a removal asked for while nothing is published.
    MqttPublisher *m_remover = nullptr;
    QPointer<MqttSettingsDialog> m_dialog;
    QPointer<QPushButton> m_button;
    QString m_lastStatus;
};
