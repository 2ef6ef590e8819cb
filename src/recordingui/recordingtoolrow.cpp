#include "recordingui/recordingtoolrow.h"

#include "recordingui/recordinguilog.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUrl>

RecordingToolRow::RecordingToolRow(QWidget *parent)
    : QWidget(parent),
      m_record(new QCheckBox(this)),
      m_file(new QPushButton(this)),
      m_open(new QPushButton(this))
{
    setObjectName(QStringLiteral("recordingToolRow"));
    m_record->setObjectName(QStringLiteral("recordingEnabled"));
    m_file->setObjectName(QStringLiteral("recordingFile"));
    m_open->setObjectName(QStringLiteral("openRecording"));
    m_record->setChecked(true);
    // The file name reads as a link: flat, no frame.
    m_file->setFlat(true);
    m_file->setCursor(Qt::PointingHandCursor);
    m_open->setCursor(Qt::PointingHandCursor);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_record);
    layout->addWidget(m_file);
    layout->addWidget(m_open);

    connect(m_record, &QCheckBox::toggled, this, &RecordingToolRow::recordingToggled);
    connect(m_file, &QPushButton::clicked, this, &RecordingToolRow::openFolder);
    connect(m_open, &QPushButton::clicked, this, &RecordingToolRow::openRecordingRequested);
    showTexts();
}

QString RecordingToolRow::say(const char *chinese, const char *english) const
{
    return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
}

void RecordingToolRow::setRecordingEnabled(bool enabled)
{
    const QSignalBlocker blocker(m_record);
    m_record->setChecked(enabled);
}

void RecordingToolRow::setState(State state, const QString &path, const QString &error)
{
    m_state = state;
    if (!path.isEmpty() || state == State::Off || state == State::Waiting)
        m_path = path;
    m_error = error;
    showTexts();
}

void RecordingToolRow::setLanguage(int language)
{
    m_language = language;
    showTexts();
}

void RecordingToolRow::showTexts()
{
    m_record->setText(say("记录", "Record"));
    m_record->setToolTip(say("把每一帧保存到记录文件，以后也可用其他协议重新解码",
                             "Keep every frame in a recording file, to be decoded again later, "
                             "also with another protocol"));
    m_open->setText(say("打开记录…", "Open recording…"));
    const QString name = QFileInfo(m_path).fileName();
    QString text;
    QString tip;
    switch (m_state) {
    case State::Off:
        text = say("记录已关闭", "Recording off");
        break;
    case State::Waiting:
        text = say("开始采集时记录", "Records when acquisition starts");
        break;
    case State::Recording:
    case State::Saved:
        text = name;
        tip = say("%1\n单击打开所在文件夹", "%1\nClick to open its folder")
                      .arg(QDir::toNativeSeparators(m_path));
        break;
    case State::Failed:
        text = say("记录失败", "Recording failed");
        tip = m_error;
        break;
    }
    m_file->setText(text);
    m_file->setToolTip(tip);
    m_file->setEnabled(!m_path.isEmpty());
    // Red while the file takes no rows.
    m_file->setStyleSheet(m_state == State::Failed
                                  ? QStringLiteral("QPushButton { border: none; text-align: left; "
                                                   "color: #c00000; padding: 0 4px; }")
                                  : QStringLiteral("QPushButton { border: none; text-align: left; "
                                                   "color: palette(link); padding: 0 4px; }"));
}

void RecordingToolRow::openFolder()
{
    if (m_path.isEmpty())
        return;
    const QString folder = QFileInfo(m_path).absolutePath();
    qCDebug(lcRecordingUi) << "Opening" << folder;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        qCWarning(lcRecordingUi) << "Cannot open the folder" << folder;
}
