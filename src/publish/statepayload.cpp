#include "publish/statepayload.h"

#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "publish/jsonwriter.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

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
    m_encodedKeys.clear();
    for (const QString &key : keys)
        m_encodedKeys.append(JsonWriter::encodedKey(key));
    m_ordered = QSet<QString>(keys.cbegin(), keys.cend());
}

QString StatePayload::isoUtc(qint64 timeMs)
{
    // Frames come many to a second: the date and time of day are formatted once per second.
    thread_local qint64 cachedSecond = std::numeric_limits<qint64>::min();
    thread_local QString cachedText;
    const qint64 second = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
    if (second != cachedSecond) {
        cachedSecond = second;
        cachedText = QDateTime::fromMSecsSinceEpoch(second * 1000, Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    const int millis = int(timeMs - second * 1000);
    const char16_t digits[] = {u'.', char16_t(u'0' + millis / 100),
                               char16_t(u'0' + millis / 10 % 10), char16_t(u'0' + millis % 10),
                               u'Z'};
    return cachedText + QStringView(digits, 5);
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
    for (qsizetype i = 0; i < m_keyOrder.size(); ++i) {
        const auto it = values.constFind(m_keyOrder.at(i));
        if (it == values.constEnd())
            continue;
        json.value(m_encodedKeys.at(i), *it);
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
