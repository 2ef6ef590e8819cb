#include "dialogs/mqttsettingsdialog.h"

#include "dialogs/dialogslog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MqttSettingsDialog::MqttSettingsDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("mqttSettingsDialog"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setMinimumWidth(460);

    auto make = [](auto *widget, const char *name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    m_enabled = make(new QCheckBox(this), "mqttEnabled");
    m_urlLabel = new QLabel(this);
    m_url = make(new QLineEdit(this), "mqttUrl");
    m_url->setPlaceholderText(QStringLiteral("mqtt://user@broker.lan:1883"));
    m_passwordLabel = new QLabel(this);
    m_password = make(new QLineEdit(this), "mqttPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_passwordNote = make(new QLabel(this), "mqttPasswordNote");
    m_passwordNote->setWordWrap(true);
    m_caLabel = new QLabel(this);
    m_caFile = make(new QLineEdit(this), "mqttCaFile");
    m_caBrowse = make(new QPushButton(this), "mqttCaBrowse");
    m_prefixLabel = new QLabel(this);
    m_prefix = make(new QLineEdit(this), "mqttPrefix");
    m_packLabel = new QLabel(this);
    m_packId = make(new QLineEdit(this), "mqttPackId");
    m_qosLabel = new QLabel(this);
    m_qos = make(new QComboBox(this), "mqttQos");
    m_qos->addItems({QStringLiteral("0"), QStringLiteral("1")});
    m_everyLabel = new QLabel(this);
    m_every = make(new QDoubleSpinBox(this), "mqttEvery");
    m_every->setRange(0, 3600);
    m_every->setDecimals(1);
    m_every->setSingleStep(1);
    m_every->setSuffix(QStringLiteral(" s"));
    m_homeAssistant = make(new QCheckBox(this), "mqttHomeAssistant");
    m_removeDiscovery = make(new QPushButton(this), "mqttRemoveDiscovery");
    m_error = make(new QLabel(this), "mqttError");
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #c0392b;"));
    m_status = make(new QLabel(this), "mqttStatus");
    m_status->setWordWrap(true);
    m_status->setVisible(false);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto *caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(m_caBrowse);
    auto *haRow = new QHBoxLayout;
    haRow->addWidget(m_homeAssistant, 1);
    haRow->addWidget(m_removeDiscovery);
    auto *form = new QFormLayout;
    form->addRow(m_urlLabel, m_url);
    form->addRow(m_passwordLabel, m_password);
    form->addRow(QString(), m_passwordNote);
    form->addRow(m_caLabel, caRow);
    form->addRow(m_prefixLabel, m_prefix);
    form->addRow(m_packLabel, m_packId);
    form->addRow(m_qosLabel, m_qos);
    form->addRow(m_everyLabel, m_every);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addLayout(haRow);
    layout->addWidget(m_error);
    layout->addWidget(m_status);
    layout->addStretch();
    layout->addWidget(m_buttons);

    for (QLineEdit *edit : {m_url, m_password, m_caFile, m_prefix, m_packId})
        connect(edit, &QLineEdit::textChanged, this, &MqttSettingsDialog::validate);
    connect(m_enabled, &QCheckBox::toggled, this, &MqttSettingsDialog::validate);
    connect(m_caBrowse, &QPushButton::clicked, this, &MqttSettingsDialog::browseCaFile);
    connect(m_removeDiscovery, &QPushButton::clicked, this, [this] {
        // Removed, the pack is not to be announced again unless asked for.
        m_homeAssistant->setChecked(false);
        emit removeDiscoveryRequested();
    });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setOptions(MqttPublishOptions());
    refreshTexts();
}

void MqttSettingsDialog::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
}

QString MqttSettingsDialog::translated(const QString &chinese) const
{
    return m_translator ? m_translator(chinese) : chinese;
}

void MqttSettingsDialog::refreshTexts()
{
    setWindowTitle(translated(QStringLiteral("MQTT 发布设置")));
    m_enabled->setText(translated(QStringLiteral("发布到 MQTT 代理")));
    m_urlLabel->setText(translated(QStringLiteral("代理地址：")));
    m_passwordLabel->setText(translated(QStringLiteral("密码：")));
    m_passwordNote->setText(translated(
            m_passwordInKeychain
                    ? QStringLiteral("密码保存在系统密钥环中。")
                    : QStringLiteral("此系统没有可用的密钥环，密码以明文保存在设置中。")));
    m_caLabel->setText(translated(QStringLiteral("CA 证书文件：")));
    m_caBrowse->setText(translated(QStringLiteral("浏览…")));
    m_prefixLabel->setText(translated(QStringLiteral("主题前缀：")));
    m_packLabel->setText(translated(QStringLiteral("电池包标识：")));
    m_qosLabel->setText(QStringLiteral("QoS:"));
    m_everyLabel->setText(translated(QStringLiteral("发布间隔：")));
    m_every->setSpecialValueText(translated(QStringLiteral("每帧")));
    m_homeAssistant->setText(translated(QStringLiteral("Home Assistant 自动发现")));
    m_removeDiscovery->setText(translated(QStringLiteral("从 Home Assistant 移除")));
    m_buttons->button(QDialogButtonBox::Ok)->setText(translated(QStringLiteral("确定")));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(translated(QStringLiteral("取消")));
    validate();
    qCDebug(lcDialogs) << "MQTT dialog texts refreshed";
}

void MqttSettingsDialog::setOptions(const MqttPublishOptions &options)
{
    m_enabled->setChecked(options.enabled);
    m_url->setText(options.url);
    m_password->setText(options.password);
    m_caFile->setText(options.caFile);
    m_prefix->setText(options.prefix);
    m_packId->setText(options.packId);
    m_qos->setCurrentIndex(options.qos == 1 ? 1 : 0);
    m_every->setValue(options.everySeconds);
    m_homeAssistant->setChecked(options.homeAssistant);
    validate();
}

MqttPublishOptions MqttSettingsDialog::options() const
{
    MqttPublishOptions options;
    options.enabled = m_enabled->isChecked();
    options.url = m_url->text().trimmed();
    options.password = m_password->text();
    const MqttUrl url = MqttUrl::parse(options.url);
    if (url.isValid() && !url.password().isEmpty()) {
        // Written into the URL: it goes where passwords go, not into the settings' URL.
        if (options.password.isEmpty())
            options.password = url.password();
        options.url = url.toDisplayString();
    }
    options.caFile = m_caFile->text().trimmed();
    options.prefix = m_prefix->text().trimmed();
    options.packId = m_packId->text().trimmed();
    options.qos = m_qos->currentIndex();
    options.everySeconds = m_every->value();
    options.homeAssistant = m_homeAssistant->isChecked();
    return options;
}

void MqttSettingsDialog::setPasswordInKeychain(bool inKeychain)
{
    m_passwordInKeychain = inKeychain;
    refreshTexts();
}

void MqttSettingsDialog::setDefaultPackId(const QString &packId)
{
    m_packId->setPlaceholderText(packId);
}

void MqttSettingsDialog::setStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

QString MqttSettingsDialog::validationError() const
{
    if (!m_enabled->isChecked())
        return QString();
    QString detail;
    const MqttUrl url = MqttUrl::parse(m_url->text(), &detail);
    if (!url.isValid())
        return translated(QStringLiteral("代理地址无效：%1")).arg(detail);
    if (!MqttTopics::isValidPrefix(m_prefix->text().trimmed(), &detail))
        return translated(QStringLiteral("主题前缀无效：%1")).arg(detail);
    const QString pack = m_packId->text().trimmed();
    if (!pack.isEmpty() && !MqttTopics::isValidPackId(pack))
        return translated(QStringLiteral("电池包标识只能包含字母、数字、_ 和 -"));
    const QString ca = m_caFile->text().trimmed();
    if (!ca.isEmpty()) {
        if (!url.tls())
            return translated(QStringLiteral("CA 证书文件仅用于 mqtts://"));
        if (!QFileInfo(ca).isFile())
            return translated(QStringLiteral("CA 证书文件不存在：%1")).arg(ca);
    }
    return QString();
}

void MqttSettingsDialog::validate()
{
    const QString error = validationError();
    m_error->setText(error);
    m_error->setVisible(!error.isEmpty());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(error.isEmpty());
}

void MqttSettingsDialog::browseCaFile()
{
    const QString file =
            QFileDialog::getOpenFileName(this, translated(QStringLiteral("CA 证书文件：")),
                                         m_caFile->text(), QStringLiteral("*.pem *.crt *.cer;;*"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}
