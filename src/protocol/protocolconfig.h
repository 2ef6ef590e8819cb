#pragma once

#include "protocol/calculation.h"
#include "protocol/commanddefinition.h"
#include "protocol/tablecolumn.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// In-memory model of one protocol file; read-only after a successful load.
class ProtocolConfig : public QObject
{
    Q_OBJECT

public:
    explicit ProtocolConfig(QObject *parent = nullptr);

    bool loadConfig(const QString &filePath);
    // The same from a file's text already read (a recording keeps the protocol it was made
    // with); origin stands for the file in filePath().
    bool loadConfigData(const QByteArray &bytes, const QString &origin);
    // The file the model was loaded from, and its complete text as loaded.
    QString filePath() const { return m_filePath; }
    QByteArray sourceData() const { return m_sourceData; }

    QString name() const { return m_name; }
    QString version() const { return m_version; }
    QString soi() const { return m_soi; }
    QString eoi() const { return m_eoi; }
    QString encoding() const { return m_encoding; }
    QString defaultCommand() const { return m_defaultCommand; }
    QList<TableColumn> tableColumns() const { return m_tableColumns; }
    QList<Calculation> voltageCalculations() const { return m_voltageCalculations; }
    QList<Calculation> temperatureCalculations() const { return m_temperatureCalculations; }
    QList<Calculation> otherCalculations() const { return m_otherCalculations; }

    QStringList commandNames() const;
    QStringList requestCommandNames() const;
    bool commandHasRequest(const QString &commandName) const;
    QList<DataSegment> dataSegments(const QString &commandName) const;
    // The whole definition; a default-constructed one when no command has that name.
    CommandDefinition command(const QString &commandName) const;

    // Why the last load failed (signalled or silent); empty after a successful load.
    QString lastError() const { return m_lastError; }

    QByteArray buildRequestFrame(const QString &commandName) const;
    // Two upper-case hex digits: 0xFF minus the low byte of the sum of the bytes of text
    // (the frame's characters after the start mark, up to the checksum).
    static QByteArray checksum(const QByteArray &text);
    bool parseResponseFrame(const QByteArray &frameBytes, const QString &commandName,
                            QVariantMap &values) const;
    // The same for a frame already held as text.
    bool parseResponseText(QStringView frame, const QString &commandName,
                           QVariantMap &values) const;

signals:
    void configLoaded();
    void configError(const QString &error);

private:
    void clearModel();

    QString m_name;
    QString m_version;
    QString m_soi;
    QString m_eoi;
    QString m_encoding;
    QMap<QString, CommandDefinition> m_commands;
    // Per command, its segment indices sorted by name (stable): the order values are stored in.
    QHash<QString, QList<int>> m_segmentOrder;
    QList<Calculation> m_voltageCalculations;
    QList<Calculation> m_temperatureCalculations;
    QList<Calculation> m_otherCalculations;
    QList<TableColumn> m_tableColumns;
    QString m_defaultCommand;
    QString m_lastError;
    QString m_filePath;
    QByteArray m_sourceData;
};
