#include "protocol/protocolframe.h"

#include "protocol/protocolconfig.h"
#include "protocol/protocollog.h"

ProtocolFrame::ProtocolFrame(QObject *parent) : QObject(parent) { }

void ProtocolFrame::setProtocolConfig(ProtocolConfig *config)
{
    m_config = config;
}

ProtocolConfig *ProtocolFrame::protocolConfig() const
{
    return m_config.data();
}

QByteArray ProtocolFrame::generateRequestFrame(const QString &commandName) const
{
    if (!m_config)
        return {};
    return m_config->buildRequestFrame(commandName);
}

bool ProtocolFrame::parseFrame(const QString &frameText, const QString &commandName)
{
    ProtocolConfig *config = m_config.data();
    if (!config) {
        qCDebug(lcProtocol) << "Protocol config not set";
        return false;
    }
    return config->parseResponseText(frameText, commandName, m_parsedValues);
}
