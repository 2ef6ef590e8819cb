#include "publish/statepayload.h"

#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "publish/jsonwriter.h"

#include <QDateTime>

#include <algorithm>

const QStringList &StatePayload::derivedKeys()
{
    static const QStringList keys{
            QStringLiteral("ProtocolVersion"),
            QStringLiteral("data_protocolversion"),
            QStringLiteral("soc_percent"),
            QStringLiteral("soc"),
            QStringLiteral("soh"),
            QStringLiteral("data_maxv"),
            QStringLiteral("data_minv"),
            QStringLiteral("data_cellcount"),
            QStringLiteral("data_number"),
            QStringLiteral("data_totalv"),
            QStringLiteral("voltage_diff"),
            QStringLiteral("data_current"),
            QStringLiteral("current_status"),
            QStringLiteral("data_maxtemperature"),
            QStringLiteral("data_mintemperature"),
            QStringLiteral("avg_temp"),
            QStringLiteral("temp_diff"),
            QStringLiteral("workStateValue"),
            QStringLiteral("WorkState"),
            QStringLiteral("BlanceState"),
            QStringLiteral("timestamp"),
    };
    return keys;
}

QStringList StatePayload::keyOrder(const ProtocolConfig *config, const QString &command)
{
    QStringList keys;
    if (config) {
        for (const DataSegment &segment : config->dataSegments(command)) {
            if (!segment.name.isEmpty() && !keys.contains(segment.name))
                keys.append(segment.name);
        }
    }
    for (const QString &key : derivedKeys()) {
        if (!keys.contains(key))
            keys.append(key);
    }
    return keys;
}

void StatePayload::setKeyOrder(const QStringList &keys)
{
    m_keyOrder = keys;
    m_ordered = QSet<QString>(keys.cbegin(), keys.cend());
}

QString StatePayload::isoUtc(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QByteArray StatePayload::build(const Sample &sample, const AcquisitionStats &stats,
                               qint64 dropped) const
{
    JsonWriter json(512 + 40 * sample.values.size());
    json.beginObject();
    json.value(u"time", isoUtc(sample.timeMs));
    json.value(u"pack", m_packId);
    json.value(u"command", sample.command);

    json.beginObject(u"values");
    const QVariantHash &values = sample.values;
    qsizetype written = 0;
    for (const QString &key : m_keyOrder) {
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            continue;
        json.value(key, *it);
        ++written;
    }
    if (written < values.size()) {
        QStringList rest;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (!m_ordered.contains(it.key()))
                rest.append(it.key());
        }
        std::sort(rest.begin(), rest.end());
        for (const QString &key : std::as_const(rest))
            json.value(key, values.value(key));
    }
    json.endObject();

    const QString state = values.value(QStringLiteral("workStateValue")).toString();
    json.value(u"workState", translateOr(m_language, state, state));

    json.beginObject(u"link");
    json.value(u"requestsSent", stats.requestsSent);
    json.value(u"framesReceived", stats.framesReceived);
    json.value(u"framesUnmatched", stats.framesUnmatched);
    json.value(u"timeouts", stats.timeouts);
    json.value(u"checksumErrors", stats.checksumErrors);
    json.value(u"serialErrors", stats.serialErrors);
    json.value(u"busBusy", stats.busBusy);
    json.value(u"portLosses", stats.portLosses);
    json.value(u"reconnects", stats.reconnects);
    json.endObject();
    json.value(u"dropped", dropped);
    json.endObject();
    return json.take();
}
