#include "widgets/alarmnotifier.h"

#include "widgets/widgetslog.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QWidget>

AlarmNotifier::AlarmNotifier(QWidget *window) : QObject(window), m_window(window) { }

bool AlarmNotifier::wanted() const
{
    if (!m_window || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    return !m_window->isActiveWindow() || m_window->isMinimized();
}

bool AlarmNotifier::notify(const AlarmEvent &event)
{
    if (event.kind != AlarmEvent::Kind::Raised || !wanted())
        return false;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(m_window->windowIcon(), this);
        m_tray->setToolTip(QApplication::applicationDisplayName());
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
            if (!m_window)
                return;
            m_window->showNormal();
            m_window->raise();
            m_window->activateWindow();
        });
    }
    m_tray->show();
    QString body = event.message(m_language);
    if (!event.valueText().isEmpty())
        body += QStringLiteral(" (%1)").arg(event.valueText());
    m_tray->showMessage(AlarmEvent::severityText(event.severity, m_language), body,
                        event.severity == AlarmRule::Severity::Alarm ? QSystemTrayIcon::Critical
                                                                     : QSystemTrayIcon::Warning);
    qCDebug(lcWidgets) << "Alarm notification:" << body;
    return true;
}
