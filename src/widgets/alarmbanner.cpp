#include "widgets/alarmbanner.h"

#include "i18n/translations.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

AlarmBanner::AlarmBanner(QWidget *parent)
    : QFrame(parent),
      m_message(new QLabel(this)),
      m_count(new QLabel(this)),
      m_events(new QPushButton(this))
{
    setObjectName(QStringLiteral("alarmBanner"));
    m_message->setObjectName(QStringLiteral("alarmBannerMessage"));
    m_count->setObjectName(QStringLiteral("alarmBannerCount"));
    m_events->setObjectName(QStringLiteral("alarmBannerEvents"));
    m_events->setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->addWidget(m_message, 1);
    layout->addWidget(m_count);
    layout->addWidget(m_events);
    connect(m_events, &QPushButton::clicked, this, &AlarmBanner::eventsRequested);
    QFont bold = m_message->font();
    bold.setBold(true);
    m_message->setFont(bold);
    refresh();
}

void AlarmBanner::setLanguage(int language)
{
    m_language = language;
    refresh();
}

void AlarmBanner::setActiveAlarms(const QList<AlarmEvent> &active)
{
    m_active = active;
    refresh();
}

AlarmEvent AlarmBanner::headline(const QList<AlarmEvent> &active)
{
    AlarmEvent best;
    bool found = false;
    for (const AlarmEvent &e : active) {
        // The list is oldest first: a later one of the same severity is newer.
        if (!found || int(e.severity) >= int(best.severity)) {
            best = e;
            found = true;
        }
    }
    return best;
}

QString AlarmBanner::messageText() const
{
    return m_message->text();
}

QString AlarmBanner::countText() const
{
    return m_count->text();
}

void AlarmBanner::refresh()
{
    m_events->setText(
            translateOr(m_language, QStringLiteral("报警记录…"), QStringLiteral("Alarm events…")));
    if (m_active.isEmpty()) {
        m_message->clear();
        m_count->clear();
        hide();
        return;
    }
    const AlarmEvent e = headline(m_active);
    const QString time =
            QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(QStringLiteral("HH:mm:ss"));
    QString text = QStringLiteral("%1  %2  %3")
                           .arg(time, AlarmEvent::severityText(e.severity, m_language),
                                e.message(m_language));
    if (!e.valueText().isEmpty())
        text += QStringLiteral(" (%1)").arg(e.valueText());
    m_message->setText(text);
    m_count->setText(translateOr(m_language, QStringLiteral("当前报警: %1"),
                                 QStringLiteral("Active alarms: %1"))
                             .arg(m_active.size()));
    const bool alarm = e.severity == AlarmRule::Severity::Alarm;
    setStyleSheet(alarm ? QStringLiteral("#alarmBanner { background-color: #c62828; }"
                                         " #alarmBanner QLabel { color: white; }")
                        : QStringLiteral("#alarmBanner { background-color: #f9a825; }"
                                         " #alarmBanner QLabel { color: #212121; }"));
    setProperty("severity", AlarmRule::severityName(e.severity));
    show();
}
