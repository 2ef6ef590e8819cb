#pragma once

#include "dialogs/mqttpublishoptions.h"
#include "i18n/translations.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits the window's publishing to an MQTT broker: the same fields as cellscribe-record's
// --mqtt options. A password typed into the URL is moved to the password field, so the URL never
// carries it into the settings. OK is only offered for settings that can work.
class MqttSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MqttSettingsDialog(QWidget *parent = nullptr);

    void setTranslator(const TextTranslator &translator);
    void refreshTexts();

    void setOptions(const MqttPublishOptions &options);
    MqttPublishOptions options() const;
    // Which note the password field carries: kept in the keychain, or in plain settings.
    void setPasswordInKeychain(bool inKeychain);
    // The pack id used when the field is left empty (taken from the port).
    void setDefaultPackId(const QString &packId);
    // How publishing goes: the last broker event and the message counts.
    void setStatus(const QString &text);

    // Why the settings cannot work, in the current language; empty when they can (or publishing
    // is off).
    QString validationError() const;

signals:
    void removeDiscoveryRequested();

private:
    QString translated(const QString &chinese) const;
    void validate();
    void browseCaFile();

    TextTranslator m_translator;
    bool m_passwordInKeychain = false;
    QCheckBox *m_enabled = nullptr;
    QLabel *m_urlLabel = nullptr;
    QLineEdit *m_url = nullptr;
    QLabel *m_passwordLabel = nullptr;
    QLineEdit *m_password = nullptr;
    QLabel *m_passwordNote = nullptr;
    QLabel *m_caLabel = nullptr;
    QLineEdit *m_caFile = nullptr;
    QPushButton *m_caBrowse = nullptr;
    QLabel *m_prefixLabel = nullptr;
    QLineEdit *m_prefix = nullptr;
    QLabel *m_packLabel = nullptr;
    QLineEdit *m_packId = nullptr;
    QLabel *m_qosLabel = nullptr;
    QComboBox *m_qos = nullptr;
    QLabel *m_everyLabel = nullptr;
    QDoubleSpinBox *m_every = nullptr;
    QCheckBox *m_homeAssistant = nullptr;
    QPushButton *m_removeDiscovery = nullptr;
    QLabel *m_error = nullptr;
    QLabel *m_status = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};
