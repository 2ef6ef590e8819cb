#include "dialogs/mqttoptionsstore.h"

#include "dialogs/dialogslog.h"

#include <QSettings>

// Built with the keychain where the build found QtKeychain (a syntax-only build for another
// platform may lack its header).
#if defined(CELLSCRIBE_HAVE_KEYCHAIN) && __has_include(<qt6keychain/keychain.h>)
#define CELLSCRIBE_USE_KEYCHAIN 1
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>
#endif

namespace {

const QString Group = QStringLiteral("mqtt");
const QString KeychainService = QStringLiteral("Cellscribe");
const QString KeychainKey = QStringLiteral("mqtt-broker-password");
constexpr int KeychainWaitMs = 5000;

} // namespace

MqttOptionsStore::MqttOptionsStore(QSettings &settings) : m_settings(settings) { }

bool MqttOptionsStore::keychainBuiltIn()
{
#ifdef CELLSCRIBE_USE_KEYCHAIN
    return true;
#else
    return false;
#endif
}

MqttPublishOptions MqttOptionsStore::load()
{
    MqttPublishOptions options;
    m_settings.beginGroup(Group);
    options.enabled = m_settings.value(QStringLiteral("enabled"), options.enabled).toBool();
    options.url = m_settings.value(QStringLiteral("url")).toString();
    options.caFile = m_settings.value(QStringLiteral("caFile")).toString();
    options.prefix = m_settings.value(QStringLiteral("prefix"), options.prefix).toString();
    options.packId = m_settings.value(QStringLiteral("packId")).toString();
    options.qos = qBound(0, m_settings.value(QStringLiteral("qos"), 0).toInt(), 1);
    options.everySeconds = qMax(0.0, m_settings.value(QStringLiteral("every"), 0).toDouble());
    options.homeAssistant =
            m_settings.value(QStringLiteral("homeAssistant"), options.homeAssistant).toBool();
    const bool plain = m_settings.value(QStringLiteral("passwordInSettings"), false).toBool();
    options.password = m_settings.value(QStringLiteral("password")).toString();
    m_settings.endGroup();
    if (!plain) {
        QString stored;
        if (readKeychain(stored))
            options.password = stored;
    }
    return options;
}

void MqttOptionsStore::save(const MqttPublishOptions &options)
{
    const bool inKeychain = passwordInKeychain()
            && (options.password.isEmpty() ? deleteKeychain() : writeKeychain(options.password));
    m_settings.beginGroup(Group);
    m_settings.setValue(QStringLiteral("enabled"), options.enabled);
    m_settings.setValue(QStringLiteral("url"), options.url);
    m_settings.setValue(QStringLiteral("caFile"), options.caFile);
    m_settings.setValue(QStringLiteral("prefix"), options.prefix);
    m_settings.setValue(QStringLiteral("packId"), options.packId);
    m_settings.setValue(QStringLiteral("qos"), options.qos);
    m_settings.setValue(QStringLiteral("every"), options.everySeconds);
    m_settings.setValue(QStringLiteral("homeAssistant"), options.homeAssistant);
    if (inKeychain || options.password.isEmpty()) {
        m_settings.remove(QStringLiteral("password"));
        m_settings.remove(QStringLiteral("passwordInSettings"));
    } else {
        m_settings.setValue(QStringLiteral("password"), options.password);
        m_settings.setValue(QStringLiteral("passwordInSettings"), true);
    }
    m_settings.endGroup();
    m_settings.sync();
}

bool MqttOptionsStore::passwordInKeychain()
{
    if (m_keychain == Keychain::Unknown) {
        QString ignored;
        readKeychain(ignored);
    }
    return m_keychain == Keychain::Works;
}

#ifdef CELLSCRIBE_USE_KEYCHAIN

namespace {

// Runs a keychain job to its end (the jobs answer asynchronously, some over D-Bus).
QKeychain::Error runJob(QKeychain::Job &job)
{
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(KeychainWaitMs, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    if (!finished)
        loop.exec();
    if (!finished)
        return QKeychain::OtherError;
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
        qCDebug(lcDialogs) << "Keychain:" << job.errorString();
    return job.error();
}

} // namespace

bool MqttOptionsStore::readKeychain(QString &password)
{
    if (m_keychain == Keychain::Fails)
        return false;
    QKeychain::ReadPasswordJob job(KeychainService);
    job.setKey(KeychainKey);
    const QKeychain::Error error = runJob(job);
    if (error != QKeychain::NoError && error != QKeychain::EntryNotFound) {
        m_keychain = Keychain::Fails;
        return false;
    }
    m_keychain = Keychain::Works;
    if (error == QKeychain::EntryNotFound)
        return false;
    password = job.textData();
    return true;
}

bool MqttOptionsStore::writeKeychain(const QString &password)
{
    QKeychain::WritePasswordJob job(KeychainService);
    job.setKey(KeychainKey);
    job.setTextData(password);
    if (runJob(job) == QKeychain::NoError)
        return true;
    m_keychain = Keychain::Fails;
    return false;
}

bool MqttOptionsStore::deleteKeychain()
{
    QKeychain::DeletePasswordJob job(KeychainService);
    job.setKey(KeychainKey);
    const QKeychain::Error error = runJob(job);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

#else

bool MqttOptionsStore::readKeychain(QString &)
{
    m_keychain = Keychain::Fails;
    return false;
}

bool MqttOptionsStore::writeKeychain(const QString &)
{
    return false;
}

bool MqttOptionsStore::deleteKeychain()
{
    return false;
}

#endif
