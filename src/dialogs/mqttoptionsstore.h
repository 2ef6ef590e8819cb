#pragma once

#include "dialogs/mqttpublishoptions.h"

class QSettings;

// Loads and saves the window's publishing settings. The broker password goes to the platform's
// keychain where Cellscribe is built with one and it answers; otherwise, and only then, into the
// plain settings, which passwordInKeychain() then tells.
class MqttOptionsStore
{
public:
    explicit MqttOptionsStore(QSettings &settings);

    MqttPublishOptions load();
    void save(const MqttPublishOptions &options);

    // Whether the password is kept in the keychain (asks the keychain once).
    bool passwordInKeychain();
    static bool keychainBuiltIn();

private:
    enum class Keychain { Unknown, Works, Fails };

    bool readKeychain(QString &password);
    bool writeKeychain(const QString &password);
    bool deleteKeychain();

    QSettings &m_settings;
    Keychain m_keychain = Keychain::Unknown;
};
