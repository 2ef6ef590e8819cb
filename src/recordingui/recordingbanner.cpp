#include "recordingui/recordingbanner.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

RecordingBanner::RecordingBanner(QWidget *parent)
    : QFrame(parent), m_label(new QLabel(this)), m_back(new QPushButton(this))
{
    setObjectName(QStringLiteral("recordingBanner"));
    m_label->setObjectName(QStringLiteral("recordingBannerText"));
    m_back->setObjectName(QStringLiteral("recordingBack"));
    setFrameShape(QFrame::StyledPanel);
    setStyleSheet(QStringLiteral("#recordingBanner { background-color: #fff4ce; "
                                 "border: 1px solid #e0b000; border-radius: 4px; }"
                                 "#recordingBannerText { color: #5a4500; }"));
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_back->setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_back);
    connect(m_back, &QPushButton::clicked, this, &RecordingBanner::backRequested);
    showTexts();
}

void RecordingBanner::showLoading(const QString &path, int percent)
{
    m_path = path;
    m_percent = qBound(0, percent, 100);
    showTexts();
}

void RecordingBanner::showLoaded(const QString &path, qint64 rows, const QString &protocol)
{
    m_path = path;
    m_rows = rows;
    m_protocol = protocol;
    m_percent = -1;
    showTexts();
}

void RecordingBanner::setLanguage(int language)
{
    m_language = language;
    showTexts();
}

void RecordingBanner::showTexts()
{
    const auto say = [this](const char *chinese, const char *english) {
        return translateOr(m_language, QString::fromUtf8(chinese), QString::fromUtf8(english));
    };
    const QString name = QFileInfo(m_path).fileName();
    if (m_percent >= 0) {
        m_label->setText(say("正在载入记录 %1… %2%", "Loading recording %1… %2%")
                                 .arg(name, QString::number(m_percent)));
    } else {
        m_label->setText(say("正在显示记录 %1（只读，实时采集已关闭）：%2 行，协议 %3",
                             "Showing recording %1 (read-only, live acquisition off): %2 rows, "
                             "protocol %3")
                                 .arg(name, QString::number(m_rows), m_protocol));
    }
    m_label->setToolTip(QDir::toNativeSeparators(m_path));
    m_back->setText(say("返回实时数据", "Back to live data"));
}
