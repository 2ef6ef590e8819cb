#include "protocol/protocolmanager.h"

#include "protocol/protocolconfig.h"
#include "protocol/protocollog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#ifndef CELLSCRIBE_DEV_PROTOCOLS_DIR
#define CELLSCRIBE_DEV_PROTOCOLS_DIR "protocols"
#endif

QString ProtocolManager::defaultDirectory()
{
    const QString besideExecutable =
            QCoreApplication::applicationDirPath() + QStringLiteral("/protocols");
    if (QFileInfo::exists(besideExecutable))
        return besideExecutable;
    return QStringLiteral(CELLSCRIBE_DEV_PROTOCOLS_DIR);
}

ProtocolManager::ProtocolManager(QObject *parent) : QObject(parent) { }

bool ProtocolManager::loadProtocols(const QString &directory)
{
    m_catalogue.clear();

    const QDir dir(directory);
    if (!dir.exists()) {
        emit protocolLoadError(
                QStringLiteral("Protocol directory does not exist: %1").arg(directory));
        return false;
    }

    // Sorted by name so that, of two files declaring the same protocol, the winner is predictable.
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QString &file : files)
        scanProtocolFile(dir.filePath(file));

    if (m_catalogue.isEmpty()) {
        emit protocolLoadError(QStringLiteral("No valid protocol files found"));
        return false;
    }

    if (!m_current)
        switchProtocol(m_catalogue.firstKey());
    return true;
}

void ProtocolManager::scanProtocolFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcProtocol) << "Cannot open protocol file:" << filePath;
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        qCWarning(lcProtocol) << "Invalid JSON format in:" << filePath;
        return;
    }
    const QJsonObject root = doc.object();
    if (!root.contains(QLatin1String("protocol"))) {
        qCWarning(lcProtocol) << "Missing 'protocol' section in:" << filePath;
        return;
    }
    const QJsonObject proto = root.value(QLatin1String("protocol")).toObject();
    auto text = [&proto](const char *key) {
        const QJsonValue v = proto.value(QLatin1String(key));
        return v.isString() ? v.toString() : QString();
    };

    ProtocolInfo info;
    info.name = text("name");
    info.description = text("description");
    info.version = text("version");
    info.filePath = filePath;
    if (info.name.isEmpty()) {
        qCWarning(lcProtocol) << "Protocol name is empty in:" << filePath;
        return;
    }
    m_catalogue.insert(info.name, info);
    qCDebug(lcProtocol) << "Found protocol:" << info.name << "version:" << info.version;
}

bool ProtocolManager::switchProtocol(const QString &protocolName)
{
    const auto it = m_catalogue.constFind(protocolName);
    if (it == m_catalogue.constEnd()) {
        m_lastError = QStringLiteral("Protocol not found: %1").arg(protocolName);
        emit protocolLoadError(m_lastError);
        return false;
    }

    auto *config = new ProtocolConfig(this);
    if (!config->loadConfig(it->filePath)) {
        m_lastError = config->lastError();
        delete config;
        emit protocolLoadError(QStringLiteral("Failed to load protocol: %1").arg(protocolName));
        return false;
    }

    // The old model goes before anyone hears of the new one; receivers re-point synchronously.
    ProtocolConfig *previous = m_current;
    m_current = config;
    delete previous;
    m_currentName = protocolName;
    m_lastError.clear();
    emit protocolChanged(protocolName);
    qCDebug(lcProtocol) << "Switched to protocol:" << protocolName;
    return true;
}

QString ProtocolManager::displayName(const QString &protocolName) const
{
    const auto it = m_catalogue.constFind(protocolName);
    if (it == m_catalogue.constEnd())
        return protocolName;
    const QString text = it->description.isEmpty() ? protocolName : it->description;
    if (it->version.isEmpty())
        return text;
    return QStringLiteral("%1 (v%2)").arg(text, it->version);
}

QString ProtocolManager::protocolDescription(const QString &protocolName) const
{
    return m_catalogue.value(protocolName).description;
}
