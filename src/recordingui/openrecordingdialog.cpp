#include "recordingui/openrecordingdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

OpenRecordingDialog::OpenRecordingDialog(int language, QWidget *parent)
    : QDialog(parent),
      m_language(language),
      m_recording(new QLineEdit(this)),
      m_protocol(new QLineEdit(this)),
      m_stored(new QRadioButton(this)),
      m_other(new QRadioButton(this)),
      m_protocolBrowse(new QPushButton(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("openRecordingDialog"));
    setWindowTitle(say("打开记录", "Open recording"));
    m_recording->setObjectName(QStringLiteral("recordingPath"));
    m_protocol->setObjectName(QStringLiteral("protocolPath"));
    m_stored->setObjectName(QStringLiteral("storedProtocol"));
    m_other->setObjectName(QStringLiteral("otherProtocol"));

    auto *recordingBrowse = new QPushButton(say("浏览…", "Browse…"), this);
    m_protocolBrowse->setText(say("浏览…", "Browse…"));
    m_stored->setText(say("用记录中保存的协议解码", "Decode with the protocol stored in it"));
    m_other->setText(say("用其他协议文件解码：", "Decode with another protocol file:"));
    m_stored->setChecked(true);
    m_buttons->button(QDialogButtonBox::Ok)->setText(say("确定", "OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(say("取消", "Cancel"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(say("记录文件：", "Recording file:"), this), 0, 0);
    grid->addWidget(m_recording, 0, 1);
    grid->addWidget(recordingBrowse, 0, 2);
    grid->addWidget(m_stored, 1, 0, 1, 3);
    grid->addWidget(m_other, 2, 0, 1, 3);
    grid->addWidget(m_protocol, 3, 1);
    grid->addWidget(m_protocolBrowse, 3, 2);
    grid->setColumnMinimumWidth(1, 360);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_buttons);

    connect(recordingBrowse, &QPushButton::clicked, this, &OpenRecordingDialog::browseRecording);
    connect(m_protocolBrowse, &QPushButton::clicked, this, &OpenRecordingDialog::browseProtocol);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_recording, &QLineEdit::textChanged, this, &OpenRecordingDialog::updateOk);
    connect(m_protocol, &QLineEdit::textChanged, this, &OpenRecordingDialog::updateOk);
    connect(m_other, &QRadioButton::toggled, this, &OpenRecordingDialog::updateOk);
    updateOk();
}

QString OpenRecordingDialog::say(const char *chinese, const char *english) const
{
    return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

void OpenRecordingDialog::setRecordingPath(const QString &path)
{
    m_recording->setText(QDir::toNativeSeparators(path));
}

QString OpenRecordingDialog::recordingPath() const
{
    return QDir::fromNativeSeparators(m_recording->text().trimmed());
}

void OpenRecordingDialog::setProtocolPath(const QString &path)
{
    m_protocol->setText(QDir::toNativeSeparators(path));
    (path.isEmpty() ? m_stored : m_other)->setChecked(true);
}

QString OpenRecordingDialog::protocolPath() const
{
    return m_other->isChecked() ? QDir::fromNativeSeparators(m_protocol->text().trimmed())
                                : QString();
}

QPushButton *OpenRecordingDialog::okButton() const
{
    return m_buttons->button(QDialogButtonBox::Ok);
}

void OpenRecordingDialog::updateOk()
{
    m_protocol->setEnabled(m_other->isChecked());
    m_protocolBrowse->setEnabled(m_other->isChecked());
    okButton()->setEnabled(!recordingPath().isEmpty()
                           && (!m_other->isChecked() || !protocolPath().isEmpty()));
}

void OpenRecordingDialog::browseRecording()
{
    const QString start = recordingPath().isEmpty() ? m_directory : recordingPath();
    const QString path =
            QFileDialog::getOpenFileName(this, say("打开记录", "Open recording"), start,
                                         say("记录 (*.csrec)", "Recordings (*.csrec)"));
    if (!path.isEmpty())
        setRecordingPath(path);
}

void OpenRecordingDialog::browseProtocol()
{
    const QString path = QFileDialog::getOpenFileName(
            this, say("协议文件", "Protocol file"), QFileInfo(protocolPath()).absolutePath(),
            say("协议文件 (*.json)", "Protocol files (*.json)"));
    if (!path.isEmpty())
        setProtocolPath(path);
}
