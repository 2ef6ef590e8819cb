#pragma once

#include "protocol/protocolinfo.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class ProtocolConfig;

// Catalogue of the protocol files in a directory and owner of the current protocol model.
class ProtocolManager : public QObject
{
    Q_OBJECT

public:
    explicit ProtocolManager(QObject *parent = nullptr);

    // "protocols" beside the executable when it exists, else the source tree's protocols/.
    static QString defaultDirectory();

    bool loadProtocols(const QString &directory);
    bool switchProtocol(const QString &protocolName);

    ProtocolConfig *currentConfig() const { return m_current; }
    QString currentProtocolName() const { return m_currentName; }
    QStringList availableProtocols() const { return m_catalogue.keys(); }
    QString displayName(const QString &protocolName) const;
    QString protocolDescription(const QString &protocolName) const;
    ProtocolInfo protocolInfo(const QString &protocolName) const
    {
        return m_catalogue.value(protocolName);
    }

    // Why the last switch failed: the loader's reason; empty after a successful switch.
    QString lastError() const { return m_lastError; }

signals:
    void protocolChanged(const QString &protocolName);
    void protocolLoadError(const QString &error);

private:
    void scanProtocolFile(const QString &filePath);

    QMap<QString, ProtocolInfo> m_catalogue;
    ProtocolConfig *m_current = nullptr;
    QString m_currentName;
    QString m_lastError;
};
