#include "simscenario.h"

#include "batterymodel.h"

#include <QRegularExpression>

namespace {

constexpr int kAnswers = 20;

// A reading in the segment's unit: cells are modelled in mV, unless the segment says volts.
double inUnit(const DataSegment &segment, double value)
{
    const bool cell = segment.name.startsWith(QLatin1String("Vcell"));
    if (cell && segment.unit.compare(QLatin1String("V"), Qt::CaseInsensitive) == 0)
        return value / 1000.0;
    return value;
}

} // namespace

bool SimScenario::parse(const QString &text, QString *error)
{
    static const QRegularExpression item(QStringLiteral("^([a-z-]+)=(\\d+)@(\\d+)$"));
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const auto m = item.match(part.trimmed());
        const int n = m.hasMatch() ? m.captured(2).toInt() : 0;
        const int first = m.hasMatch() ? m.captured(3).toInt() : 0;
        const QString kind = m.captured(1);
        Excursion e;
        e.firstAnswer = first;
        e.answers = kAnswers;
        bool ok = n >= 1 && first >= 1;
        if (kind == QLatin1String("overvoltage-cell")) {
            e.segment = QStringLiteral("Vcell%1").arg(n);
            e.value = 3700.0;
        } else if (kind == QLatin1String("undervoltage-cell")) {
            e.segment = QStringLiteral("Vcell%1").arg(n);
            e.value = 2500.0;
        } else if (kind == QLatin1String("spread")) {
            e.segment = QStringLiteral("Vcell%1").arg(n);
            e.shift = true;
            e.value = -150.0;
        } else if (kind == QLatin1String("overtemp")) {
            e.segment = QStringLiteral("Temp%1").arg(n);
            e.value = 60.0;
        } else {
            ok = false;
        }
        if (!ok) {
            if (error)
                *error = QStringLiteral("invalid scenario: %1 (expected overvoltage-cell=N@K, "
                                        "undervoltage-cell=N@K, overtemp=N@K or spread=N@K with "
                                        "N and K from 1)")
                                 .arg(part.trimmed());
            return false;
        }
        excursions.append(e);
    }
    return true;
}

quint64 SimScenario::apply(int answer, const DataSegment &segment, quint64 modelRaw) const
{
    quint64 raw = modelRaw;
    for (const Excursion &e : excursions) {
        if (e.segment != segment.name || answer < e.firstAnswer
            || answer >= e.firstAnswer + e.answers)
            continue;
        double value = inUnit(segment, e.value);
        if (e.shift)
            value += double(raw) * segment.scale + segment.offset;
        raw = BatteryModel::encodeValue(value, segment);
    }
    return raw;
}
