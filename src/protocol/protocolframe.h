#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class ProtocolConfig;

// Request builder and response parser facade over the current protocol, with the value store.
class ProtocolFrame : public QObject
{
    Q_OBJECT

public:
    explicit ProtocolFrame(QObject *parent = nullptr);

    void setProtocolConfig(ProtocolConfig *config);
    ProtocolConfig *protocolConfig() const;

    QByteArray generateRequestFrame(const QString &commandName) const;
    bool parseFrame(const QString &frameText, const QString &commandName);

    // Decoded values; never emptied, every key keeps its last written value.
    const QVariantMap &parsedValues() const { return m_parsedValues; }

private:
    QPointer<ProtocolConfig> m_config;
    QVariantMap m_parsedValues;
};
