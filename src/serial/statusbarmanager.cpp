#include "serial/statusbarmanager.h"

#include "serial/seriallog.h"

#include <QVariant>

namespace {
const QString kStatusLabel = QStringLiteral("statu_opencom");
} // namespace

StatusBarManager::StatusBarManager(QObject *widgetTree, QObject *parent)
    : QObject(parent), m_widgetTree(widgetTree)
{ }

void StatusBarManager::setComConnected(const QString &portName, int baudRate, int dataBits,
                                       const QString &parity, int stopBits,
                                       const QString &flowControl)
{
    m_state = Open;
    m_portName = portName;
    m_baudRate = baudRate;
    m_dataBits = dataBits;
    m_parity = parity;
    m_stopBits = stopBits;
    m_flowControl = flowControl;
    render();
}

void StatusBarManager::setComDisconnected(const QString &portName)
{
    m_state = Closed;
    m_portName = portName;
    render();
}

void StatusBarManager::setComReconnecting(const QString &portName)
{
    m_state = Reconnecting;
    m_portName = portName;
    render();
}

void StatusBarManager::resetStatus()
{
    m_state = NotConnected;
    render();
}

void StatusBarManager::refreshStatus()
{
    render();
}

void StatusBarManager::setTranslator(const TextTranslator &translator)
{
    m_translator = translator;
}

QString StatusBarManager::statusText() const
{
    QString tmpl;
    switch (m_state) {
    case Open:
        tmpl = QStringLiteral("%1 已打开, %2, %3, %4, %5, %6");
        break;
    case Closed:
        tmpl = QStringLiteral("%1 已关闭");
        break;
    case Reconnecting:
        tmpl = QStringLiteral("端口已断开，正在重连…");
        break;
    default:
        tmpl = QStringLiteral("未连接！");
        break;
    }
    // Translate the template first so that port names and settings are never translated.
    if (m_translator)
        tmpl = m_translator(tmpl);

    // One multi-argument pass: a port path containing "%2" must not be filled again.
    switch (m_state) {
    case Open:
        return tmpl.arg(m_portName, QString::number(m_baudRate), QString::number(m_dataBits),
                        m_parity, QString::number(m_stopBits), m_flowControl);
    case Closed:
        return tmpl.arg(m_portName);
    default:
        return tmpl;
    }
}

void StatusBarManager::render()
{
    if (!m_widgetTree)
        return;
    QObject *label = m_widgetTree->findChild<QObject *>(kStatusLabel);
    if (!label) {
        qCDebug(lcSerial) << "StatusBarManager:" << kStatusLabel << "not found";
        return;
    }
    label->setProperty("text", statusText());
}
