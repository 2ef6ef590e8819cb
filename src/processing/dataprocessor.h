#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantHash>
#include <QVariantMap>

class ProtocolConfig;
class ProtocolFrame;

// Matches a received frame to its command and builds the frame's value map.
class DataProcessor : public QObject
{
    Q_OBJECT

public:
    explicit DataProcessor(QObject *parent = nullptr);

    void setProtocolFrame(ProtocolFrame *frame);
    void setProtocolConfig(ProtocolConfig *config);

    bool resolveCommandForFrame(const QString &frameText, QString &commandName);
    QVariantHash processFrameValues(const QString &commandName, const QVariantMap &parsedValues,
                                    const QString &receiveTime) const;

private:
    QPointer<ProtocolFrame> m_protocolFrame;
    QPointer<ProtocolConfig> m_protocolConfig;
};
