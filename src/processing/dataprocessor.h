#pragma once

#include "protocol/datasegment.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
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
    const QStringList &sortedSegmentNames(const QString &commandName) const;

    QPointer<ProtocolFrame> m_protocolFrame;
    QPointer<ProtocolConfig> m_protocolConfig;

    // The last command's segment names, sorted like the value store; valid while the config
    // still hands out the same segment list (the copy held here keeps its data alive).
    mutable QString m_cachedCommand;
    mutable QList<DataSegment> m_cachedSegments;
    mutable QStringList m_cachedSegmentNames;
};
