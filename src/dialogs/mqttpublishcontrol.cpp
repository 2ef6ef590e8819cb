#include "dialogs/mqttpublishcontrol.h"

#include "dialogs/dialogslog.h"
#include "dialogs/mqttoptionsstore.h"
#include "dialogs/mqttsettingsdialog.h"
#include "i18n/translations.h"
#include "publish/mqttpublisher.h"

#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <memory>

namespace {

// How long a removal without a running publisher waits for the broker.
constexpr int RemovalWaitMs = 15000;

} // namespace

MqttPublishControl::MqttPublishControl(AcquisitionEngine *engine, const QString &organisation,
                                       const QString &application, QWidget *window)
    : QObject(window),
      m_engine(engine),
      m_window(window),
      m_organisation(organisation),
      m_application(application)
{
    m_publisher = new MqttPublisher(this);
    connect(m_engine, &AcquisitionEngine::stateChanged, this, &MqttPublishControl::onEngineState);
    connect(m_engine, &AcquisitionEngine::sampleDecoded, this, [this](const Sample &sample) {
        m_publisher->publishSample(sample, m_engine->stats());
    });
    // A reconnect that lost messages says so instead of a plain "connected".
    auto droppedReport = std::make_shared<QString>();
    connect(m_publisher, &MqttPublisher::droppedWhileDisconnected, this,
            [this, droppedReport](qint64 count) {
                *droppedReport = say("MQTT 已重新连接，断开期间丢弃了 %1 条消息",
                                     "MQTT reconnected; %1 messages dropped while disconnected")
                                         .arg(count);
            });
    connect(m_publisher, &MqttPublisher::connected, this, [this, droppedReport] {
        if (!droppedReport->isEmpty()) {
            report(*droppedReport, true);
            droppedReport->clear();
            return;
        }
        report(say("MQTT 已连接：%1", "MQTT connected: %1")
                       .arg(m_publisher->settings().url.toDisplayString()),
               false);
    });
    connect(m_publisher, &MqttPublisher::attemptFailed, this, [this](const QString &reason) {
        report(say("MQTT 连接失败：%1", "MQTT connection failed: %1").arg(reason), true);
    });
    connect(m_publisher, &MqttPublisher::connectionLost, this, [this](const QString &reason) {
        report(say("MQTT 连接断开：%1，正在重连…", "MQTT connection lost: %1, reconnecting…")
                       .arg(reason),
               true);
    });
    connect(m_publisher, &MqttPublisher::publishFailed, this, [this](const QString &reason) {
        report(say("MQTT 发布失败：%1", "MQTT publish failed: %1").arg(reason), true);
    });
}

void MqttPublishControl::report(const QString &text, bool problem)
{
    m_lastStatus = text;
    if (m_button) {
        m_button->setToolTip(text);
        m_button->setStyleSheet(problem ? QStringLiteral("color: #c0392b;") : QString());
    }
    showStatus();
    emit statusMessage(text);
}

void MqttPublishControl::showStatus()
{
    if (!m_dialog)
        return;
    QString text = m_lastStatus;
    if (m_publisher->isRunning() || m_publisher->publishedCount() > 0) {
        const QString counts = say("已发布 %1 条，丢弃 %2 条", "%1 published, %2 dropped")
                                       .arg(m_publisher->publishedCount())
                                       .arg(m_publisher->droppedCount());
        text = text.isEmpty() ? counts : text + u'\n' + counts;
    }
    m_dialog->setStatus(text);
}

MqttPublishControl::~MqttPublishControl()
{
    m_publisher->stop();
}

MqttSettingsDialog *MqttPublishControl::dialog() const
{
    return m_dialog.data();
}

QString MqttPublishControl::say(const char *chinese, const char *english) const
{
    return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

QPushButton *MqttPublishControl::createButton(QWidget *parent)
{
    auto *button = new QPushButton(QStringLiteral("MQTT 设置…"), parent);
    button->setObjectName(QStringLiteral("mqttSettingsButton"));
    connect(button, &QPushButton::clicked, this, &MqttPublishControl::showDialog);
    m_button = button;
    return button;
}

void MqttPublishControl::setLanguage(int language)
{
    m_language = language;
    if (m_dialog) {
        m_dialog->setTranslator(
                [language](const QString &text) { return translateWithUnit(language, text); });
        m_dialog->refreshTexts();
    }
}

MqttPublishOptions MqttPublishControl::options() const
{
    QSettings settings(m_organisation, m_application);
    return MqttOptionsStore(settings).load();
}

void MqttPublishControl::showDialog()
{
    if (!m_dialog) {
        m_dialog = new MqttSettingsDialog(m_window);
        connect(m_dialog, &QDialog::accepted, this, &MqttPublishControl::applyDialog);
        connect(m_dialog, &MqttSettingsDialog::removeDiscoveryRequested, this,
                &MqttPublishControl::removeFromHomeAssistant);
        setLanguage(m_language);
    }
    QSettings settings(m_organisation, m_application);
    MqttOptionsStore store(settings);
    m_dialog->setOptions(store.load());
    m_dialog->setPasswordInKeychain(store.passwordInKeychain());
    const QString port = m_engine->isActive() ? m_engine->currentPort() : QString();
    m_dialog->setDefaultPackId(port.isEmpty() ? QString() : MqttTopics::packIdForPort(port));
    showStatus();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void MqttPublishControl::applyDialog()
{
    QSettings settings(m_organisation, m_application);
    MqttOptionsStore(settings).save(m_dialog->options());
    // New settings take effect at once on a run in progress.
    m_publisher->stop();
    if (m_engine->isActive())
        startPublishing();
}

void MqttPublishControl::onEngineState(AcquisitionEngine::State state)
{
    if (state == AcquisitionEngine::State::Stopped)
        m_publisher->stop();
    else if (!m_publisher->isRunning())
        startPublishing();
}

void MqttPublishControl::startPublishing()
{
    const MqttPublishOptions options = this->options();
    if (!options.enabled)
        return;
    MqttPublisherSettings settings;
    QString error = options.toPublisherSettings(m_engine->currentPort(), m_language, settings);
    m_publisher->setProtocol(m_engine->protocolConfig(), m_engine->settings().command);
    if (error.isEmpty() && !m_publisher->start(settings))
        error = m_publisher->lastError();
    if (!error.isEmpty()) {
        qCWarning(lcDialogs) << "MQTT publishing cannot start:" << error;
        report(say("MQTT 发布无法启动：%1", "MQTT publishing cannot start: %1").arg(error), true);
    }
}

void MqttPublishControl::removeFromHomeAssistant()
{
    const MqttPublishOptions options = m_dialog ? m_dialog->options() : this->options();
    MqttPublisherSettings settings;
    const QString port =
            m_engine->currentPort().isEmpty() ? m_engine->settings().port : m_engine->currentPort();
    QString error = options.toPublisherSettings(port, m_language, settings);
    if (!error.isEmpty()) {
        report(say("MQTT 发布无法启动：%1", "MQTT publishing cannot start: %1").arg(error), true);
        return;
    }
    const QString pack = settings.packId;
    auto done = [this, pack] {
        report(say("已从 Home Assistant 移除电池包 %1", "Pack %1 removed from Home Assistant")
                       .arg(pack),
               false);
    };
    if (m_publisher->isRunning() && m_publisher->settings().packId == pack) {
        connect(m_publisher, &MqttPublisher::discoveryRemoved, this, done,
                Qt::SingleShotConnection);
        m_publisher->removeDiscovery();
        return;
    }
    // Nothing published now: a connection of its own, which leaves nothing retained behind.
    delete m_remover;
    m_remover = new MqttPublisher(this);
    settings.homeAssistant = false;
    settings.status = false;
    m_remover->setProtocol(m_engine->protocolConfig(), m_engine->settings().command);
    if (!m_remover->start(settings)) {
        report(say("MQTT 发布无法启动：%1", "MQTT publishing cannot start: %1")
                       .arg(m_remover->lastError()),
               true);
        return;
    }
    MqttPublisher *remover = m_remover;
    connect(remover, &MqttPublisher::discoveryRemoved, this, [remover, done] {
        done();
        // Stopped from the event loop: the signal comes from inside the publisher.
        QTimer::singleShot(0, remover, [remover] { remover->stop(); });
    });
    connect(remover, &MqttPublisher::attemptFailed, this, [this](const QString &reason) {
        report(say("MQTT 连接失败：%1", "MQTT connection failed: %1").arg(reason), true);
    });
    QTimer::singleShot(RemovalWaitMs, remover, [remover] { remover->stop(); });
    remover->removeDiscovery();
}
