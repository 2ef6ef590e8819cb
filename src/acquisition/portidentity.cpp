#include "acquisition/portidentity.h"

#include <QSerialPortInfo>

namespace {

PortIdentity fromInfo(const QSerialPortInfo &info)
{
    PortIdentity identity;
    identity.name = info.portName();
    identity.serialNumber = info.serialNumber().trimmed();
    if (info.hasVendorIdentifier())
        identity.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        identity.productId = info.productIdentifier();
    identity.location = PortIdentity::locationOf(info.portName());
    return identity;
}

// A port opened by its device path is the port the system lists under the file's name.
bool sameName(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QLatin1String dev("/dev/");
    return (a.startsWith(dev) && QStringView(a).mid(dev.size()) == b)
            || (b.startsWith(dev) && QStringView(b).mid(dev.size()) == a);
}

} // namespace

PortIdentity PortIdentity::of(const QString &name)
{
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (sameName(info.portName(), name) || info.systemLocation() == name) {
            PortIdentity identity = fromInfo(info);
            identity.name = name;
            return identity;
        }
    }
    PortIdentity identity;
    identity.name = name;
    return identity;
}

QList<PortIdentity> PortIdentity::present()
{
    QList<PortIdentity> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.append(fromInfo(info));
    return ports;
}

int PortIdentity::find(const PortIdentity &wanted, const QList<PortIdentity> &present)
{
    for (int i = 0; i < present.size(); ++i) {
        const PortIdentity &candidate = present.at(i);
        if (!wanted.serialNumber.isEmpty()) {
            if (candidate.serialNumber != wanted.serialNumber)
                continue;
            if (wanted.hasUsbId() && candidate.hasUsbId()
                && (candidate.vendorId != wanted.vendorId
                    || candidate.productId != wanted.productId))
                continue;
            return i;
        }
        if (wanted.hasUsbId()) {
            // An adapter that reports a serial number is not one that reported none.
            if (!candidate.serialNumber.isEmpty() || candidate.vendorId != wanted.vendorId
                || candidate.productId != wanted.productId)
                continue;
            // Two adapters of one make differ only in where they are plugged in.
            if (!wanted.location.isEmpty() ? candidate.location == wanted.location
                                           : sameName(candidate.name, wanted.name))
                return i;
            continue;
        }
        if (!candidate.hasUsbId() && candidate.serialNumber.isEmpty()
            && sameName(candidate.name, wanted.name))
            return i;
    }
    return -1;
}
