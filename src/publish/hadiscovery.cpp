#include "publish/hadiscovery.h"

#include "i18n/translations.h"
#include "protocol/protocolconfig.h"
#include "publish/jsonwriter.h"
#include "publish/publishlog.h"
#include "publish/statepayload.h"

#include <QHash>
#include <QRegularExpression>

#ifndef CELLSCRIBE_VERSION
#define CELLSCRIBE_VERSION "2.29"
#endif

namespace {

struct Known
{
    const char *chinese; // caption as the translation table has it
    const char *english; // fallback when the table lacks it
    const char *unit;
    const char *deviceClass;
};

// Units and captions of the derived values (and of the fixed input names, which a protocol's
// segments may carry without a unit).
const QHash<QString, Known> &knownKeys()
{
    static const QHash<QString, Known> keys{
            {QStringLiteral("ProtocolVersion"), {"协议版本", "Protocol Version", "", ""}},
            {QStringLiteral("soc_percent"), {"计算SOC", "Calculated SOC", "%", "battery"}},
            {QStringLiteral("soc"), {"SOC", "SOC", "%", "battery"}},
            {QStringLiteral("soh"), {"健康度", "Health", "%", ""}},
            {QStringLiteral("data_maxv"),
             {"最大电芯电压", "Highest Cell Voltage", "mV", "voltage"}},
            {QStringLiteral("data_minv"), {"最小电芯电压", "Lowest Cell Voltage", "mV", "voltage"}},
            {QStringLiteral("data_cellcount"), {"电池串数", "Battery Count", "", ""}},
            {QStringLiteral("data_totalv"), {"总电压", "Total Voltage", "V", "voltage"}},
            {QStringLiteral("voltage_diff"), {"电压差值", "Voltage Diff", "mV", "voltage"}},
            {QStringLiteral("data_current"), {"总电流", "Total Current", "A", "current"}},
            {QStringLiteral("current_status"), {"电流状态", "Current State", "", ""}},
            {QStringLiteral("data_maxtemperature"),
             {"最高温度", "Highest Temp", "°C", "temperature"}},
            {QStringLiteral("data_mintemperature"),
             {"最低温度", "Lowest Temp", "°C", "temperature"}},
            {QStringLiteral("avg_temp"), {"平均温度", "Average Temp", "°C", "temperature"}},
            // A difference: no device class, or Fahrenheit users would see it shifted by 32.
            {QStringLiteral("temp_diff"), {"温差", "Temp Diff", "°C", ""}},
            {QStringLiteral("workStateValue"), {"工作状态", "Operating State", "", ""}},
            {QStringLiteral("WorkState"), {"工作状态码", "Work State Code", "", ""}},
            {QStringLiteral("BlanceState"), {"均衡状态", "Balance State", "", ""}},
            {QStringLiteral("remain_cap"), {"剩余容量", "Remaining Capacity", "", ""}},
            {QStringLiteral("full_cap"), {"满充容量", "Full Charge Capacity", "", ""}},
            {QStringLiteral("design_cap"), {"设计容量", "Design Capacity", "", ""}},
            {QStringLiteral("cycle_count"), {"循环次数", "Cycle Count", "", ""}},
            {QStringLiteral("time_left"), {"剩余时间", "Remaining Time", "", ""}},
            {QStringLiteral("learn_status"), {"学习状态", "Learning Status", "", ""}},
            {QStringLiteral("ChgCur"), {"充电电流", "Charge Current", "", ""}},
            {QStringLiteral("DsgCur"), {"放电电流", "Discharge Current", "", ""}},
    };
    return keys;
}

// Kept out of discovery: aliases of another value and the local time text.
bool isAlias(const QString &key)
{
    return key == QLatin1String("data_number") || key == QLatin1String("data_protocolversion")
            || key == QLatin1String("timestamp");
}

QString nameFor(const QString &key, int language)
{
    static const QRegularExpression cell(QStringLiteral("^Vcell(\\d+)$"));
    static const QRegularExpression probe(QStringLiteral("^Temp(\\d+)$"));
    QRegularExpressionMatch match = cell.match(key);
    if (match.hasMatch()) {
        const QString chinese = QStringLiteral("电芯") + match.captured(1);
        return translateOr(language, chinese, QStringLiteral("Cell ") + match.captured(1));
    }
    match = probe.match(key);
    if (match.hasMatch()) {
        const QString chinese = QStringLiteral("温度") + match.captured(1);
        return translateOr(language, chinese, QStringLiteral("Temp ") + match.captured(1));
    }
    const auto it = knownKeys().constFind(key);
    if (it == knownKeys().constEnd())
        return key;
    return translateOr(language, QString::fromUtf8(it->chinese), QString::fromUtf8(it->english));
}

QString deviceClassFor(const QString &key, const QString &unit)
{
    if (unit == QLatin1String("mV") || unit == QLatin1String("V"))
        return QStringLiteral("voltage");
    if (unit == QLatin1String("mA") || unit == QLatin1String("A"))
        return QStringLiteral("current");
    if (key == QLatin1String("temp_diff"))
        return QString();
    if (unit == QStringLiteral("°C") || unit == QStringLiteral("°F") || unit == QLatin1String("K"))
        return QStringLiteral("temperature");
    if (unit == QLatin1String("%")
        && (key == QLatin1String("soc") || key == QLatin1String("soc_percent")))
        return QStringLiteral("battery");
    if (unit == QLatin1String("s") || unit == QLatin1String("min") || unit == QLatin1String("h"))
        return QStringLiteral("duration");
    return QString();
}

HaSensor sensorFor(const QString &key, const QString &segmentUnit, const QString &segmentType,
                   int language)
{
    HaSensor sensor;
    sensor.key = key;
    sensor.name = nameFor(key, language);
    const auto known = knownKeys().constFind(key);
    sensor.unit = HaDiscovery::haUnit(segmentUnit);
    if (sensor.unit.isEmpty() && known != knownKeys().constEnd())
        sensor.unit = QString::fromUtf8(known->unit);
    sensor.deviceClass = deviceClassFor(key, sensor.unit);
    if (!sensor.unit.isEmpty() || segmentType == QLatin1String("count")
        || key == QLatin1String("data_cellcount"))
        sensor.stateClass = QStringLiteral("measurement");
    return sensor;
}

// The key as a string literal in a Jinja template.
QString templateLiteral(const QString &key)
{
    QString escaped = key;
    escaped.replace(u'\\', QLatin1String("\\\\"));
    escaped.replace(u'\'', QLatin1String("\\'"));
    return u'\'' + escaped + u'\'';
}

QString valueTemplate(const QString &key)
{
    // Subscripts, not attributes: value_json.values would be the dictionary's own method.
    if (key == QLatin1String("workStateValue"))
        return QStringLiteral("{{ value_json['workState'] }}");
    if (key == QLatin1String("WorkState"))
        return QStringLiteral("{{ '%04X' % (value_json['values']['WorkState'] | int) }}");
    return QStringLiteral("{{ value_json['values'][%1] }}").arg(templateLiteral(key));
}

QString objectId(const QString &key)
{
    return MqttTopics::sanitisePackId(key);
}

} // namespace

HaDiscovery::HaDiscovery(const MqttTopics &topics, const QString &model)
    : m_topics(topics), m_model(model)
{ }

QString HaDiscovery::haUnit(const QString &unit)
{
    const QString trimmed = unit.trimmed();
    if (trimmed == QStringLiteral("℃") || trimmed == QStringLiteral("°C")
        || trimmed.compare(QLatin1String("C"), Qt::CaseSensitive) == 0)
        return QStringLiteral("°C");
    if (trimmed == QStringLiteral("℉"))
        return QStringLiteral("°F");
    if (trimmed.compare(QLatin1String("ah"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Ah");
    if (trimmed.compare(QLatin1String("mah"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("mAh");
    return trimmed;
}

QList<HaSensor> HaDiscovery::sensors(const ProtocolConfig *config, const QStringList &commands,
                                     int language)
{
    QList<HaSensor> result;
    QStringList seen;
    QStringList seenIds;
    auto add = [&](const HaSensor &sensor) {
        if (isAlias(sensor.key) || seen.contains(sensor.key))
            return;
        seen.append(sensor.key);
        // Two names that differ only in characters a topic level cannot hold share one topic.
        const QString id = objectId(sensor.key);
        if (seenIds.contains(id)) {
            qCWarning(lcPublish) << "Home Assistant: value" << sensor.key
                                 << "not announced, its id is taken:" << id;
            return;
        }
        seenIds.append(id);
        result.append(sensor);
    };
    if (config) {
        for (const QString &command : commands) {
            for (const DataSegment &segment : config->dataSegments(command)) {
                if (!segment.name.isEmpty())
                    add(sensorFor(segment.name, segment.unit, segment.type, language));
            }
        }
    }
    for (const QString &key : StatePayload::derivedKeys())
        add(sensorFor(key, QString(), QString(), language));
    return result;
}

QString HaDiscovery::configTopic(const HaSensor &sensor) const
{
    return QLatin1String(DiscoveryPrefix) + QLatin1String("/sensor/") + m_topics.nodeId() + u'/'
            + objectId(sensor.key) + QLatin1String("/config");
}

QString HaDiscovery::uniqueId(const HaSensor &sensor) const
{
    return m_topics.nodeId() + u'_' + objectId(sensor.key);
}

QByteArray HaDiscovery::configPayload(const HaSensor &sensor) const
{
    const QString version = QStringLiteral(CELLSCRIBE_VERSION);
    JsonWriter json(1024);
    json.beginObject();
    json.value(u"name", sensor.name);
    json.value(u"unique_id", uniqueId(sensor));
    json.value(u"state_topic", m_topics.state());
    json.value(u"value_template", valueTemplate(sensor.key));
    if (!sensor.unit.isEmpty())
        json.value(u"unit_of_measurement", sensor.unit);
    if (!sensor.deviceClass.isEmpty())
        json.value(u"device_class", sensor.deviceClass);
    if (!sensor.stateClass.isEmpty())
        json.value(u"state_class", sensor.stateClass);
    json.value(u"availability_topic", m_topics.status());
    json.value(u"payload_available", "online");
    json.value(u"payload_not_available", "offline");
    json.beginObject(u"device");
    json.beginArray(u"identifiers").element(m_topics.nodeId()).endArray();
    json.value(u"name", QStringLiteral("Cellscribe ") + m_topics.packId());
    json.value(u"manufacturer", "Cellscribe");
    if (!m_model.isEmpty())
        json.value(u"model", m_model);
    json.value(u"sw_version", version);
    json.endObject();
    json.beginObject(u"origin");
    json.value(u"name", "Cellscribe");
    json.value(u"sw_version", version);
    json.endObject();
    json.endObject();
    return json.take();
}

QList<HaDiscovery::Message> HaDiscovery::announce(const QList<HaSensor> &sensors) const
{
    QList<Message> messages;
    messages.reserve(sensors.size());
    for (const HaSensor &sensor : sensors)
        messages.append({configTopic(sensor), configPayload(sensor)});
    return messages;
}

QList<HaDiscovery::Message> HaDiscovery::remove(const QList<HaSensor> &sensors) const
{
    QList<Message> messages;
    messages.reserve(sensors.size());
    for (const HaSensor &sensor : sensors)
        messages.append({configTopic(sensor), QByteArray()});
    return messages;
}
