#pragma once

#include "acquisition/acquisitionstats.h"
#include "acquisition/sample.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class ProtocolConfig;

// The JSON object published for each frame on <prefix>/<pack>/state:
//   {"time": receive time, ISO 8601 UTC with milliseconds,
//    "pack": pack id, "command": the command answered,
//    "values": {every segment and derived value under its key},
//    "workState": the work state text in the chosen language,
//    "link": {the run's link counters}, "dropped": messages not published since the start}
// Values keep their kind: numbers as numbers, texts as strings.
class StatePayload
{
public:
    void setPackId(const QString &packId) { m_packId = packId; }
    void setLanguage(int language) { m_language = language; }
    // The order "values" lists its keys in; keys a frame carries beyond these follow sorted.
    void setKeyOrder(const QStringList &keys);

    QByteArray build(const Sample &sample, const AcquisitionStats &stats, qint64 dropped) const;

    // Keys in a stable order: the command's segments as the protocol declares them, then the
    // derived values.
    static QStringList keyOrder(const ProtocolConfig *config, const QString &command);
    // The keys every frame's value map may add to the segments, in the order above.
    static const QStringList &derivedKeys();
    // "2026-03-01T08:30:00.250Z".
    static QString isoUtc(qint64 timeMs);

private:
    QString m_packId;
    int m_language = 0;
    QStringList m_keyOrder;
    QList<QByteArray> m_encodedKeys; // the same, as written
    QSet<QString> m_ordered;
};
