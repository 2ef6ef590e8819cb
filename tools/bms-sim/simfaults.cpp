#include "simfaults.h"

namespace {

bool share(const QString &value, double *out)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || v < 0.0 || v > 1.0)
        return false;
    *out = v;
    return true;
}

bool count(const QString &value, int *out)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    if (!ok || v < 0)
        return false;
    *out = v;
    return true;
}

} // namespace

bool SimFaults::parse(const QString &text, QString *error)
{
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString item = part.trimmed();
        const qsizetype eq = item.indexOf(u'=');
        const QString key = eq < 0 ? item : item.left(eq);
        const QString value = eq < 0 ? QString() : item.mid(eq + 1);
        bool ok = true;
        if (key == QLatin1String("silent") && eq < 0)
            silent = true;
        else if (key == QLatin1String("split") && eq < 0)
            split = true;
        else if (key == QLatin1String("drop"))
            ok = share(value, &drop);
        else if (key == QLatin1String("garbage"))
            ok = share(value, &garbage);
        else if (key == QLatin1String("bad-checksum"))
            ok = share(value, &badChecksum);
        else if (key == QLatin1String("delay"))
            ok = count(value, &delayMs);
        else if (key == QLatin1String("hangup-after"))
            ok = count(value, &hangupAfter);
        else
            ok = false;
        if (!ok) {
            if (error)
                *error = QStringLiteral("invalid fault: %1 (expected silent, split, drop=P, "
                                        "garbage=P, bad-checksum=P with P in 0..1, delay=MS or "
                                        "hangup-after=N)")
                                 .arg(item);
            return false;
        }
    }
    return true;
}
