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

    for (const QString &file : protocolFiles(directory))
        scanProtocolFile(file);

    if (m_catalogue.isEmpty()) {
        emit protocolLoadError(QStringLiteral("No valid protocol files found"));
        return false;
    }

    if (!m_current)
        switchProtocol(m_catalogue.firstKey());
    return true;
}

QStringList ProtocolManager::protocolFiles(const QString &directory)
{
    // Sorted by name so that, of two files declaring the same protocol, the winner is predictable.
    const QDir dir(directory);
    QStringList files;
    for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
        files.append(dir.filePath(file));
    return files;
}

bool ProtocolManager::readProtocolInfo(const QString &filePath, ProtocolInfo *info, QString *error)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot open protocol file: %1").arg(filePath);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("Invalid JSON format in: %1").arg(filePath);
        return false;
    }
    const QJsonObject root = doc.object();
    if (!root.contains(QLatin1String("protocol"))) {
        *error = QStringLiteral("Missing 'protocol' section in: %1").arg(filePath);
        return false;
    }
    const QJsonObject proto = root.value(QLatin1String("protocol")).toObject();
    auto text = [&proto](const char *key) {
        const QJsonValue v = proto.value(QLatin1String(key));
        return v.isString() ? v.toString() : QString();
    };

    info->name = text("name");
    info->description = text("description");
    info->version = text("version");
    info->filePath = filePath;
    if (info->name.isEmpty()) {
        *error = QStringLiteral("Protocol name is empty in: %1").arg(filePath);
        return false;
    }
    return true;
}

void ProtocolManager::scanProtocolFile(const QString &filePath)
{
    ProtocolInfo info;
    QString error;
    if (!readProtocolInfo(filePath, &info, &error)) {
        qCWarning(lcProtocol).noquote() << error;
        return;
    }
    m_catalogue.insert(info.name, info);
    qCDebug(lcProtocol) << "Found protocol:" << info.name << "version:" << info.version;
}

bool ProtocolManager::switchProtocol(const QString &protocolName)
{
    const auto it = m_catalogue.constFind(protocolName);
    if (it == m_catalogue.constEnd()) {
        m_lastError = {QStringLiteral("未找到协议：%1"),
                       QStringLiteral("Protocol not found: %1"),
                       {protocolName}};
        emit protocolLoadError(m_lastError.english());
        return false;
    }

    auto *config = new ProtocolConfig(this);
    if (!config->loadConfig(it->filePath)) {
        m_lastError = config->lastErrorText();
        delete config;
        emit protocolLoadError(QStringLiteral("Failed to load protocol: %1").arg(protocolName));
        return false;
    }

    // The old model goes before anyone hears of the new one; receivers re-point synchronously.
    ProtocolConfig *previous = m_current;
    m_current = config;
    delete previous;
    m_currentName = protocolName;
    m_lastError = {};
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
