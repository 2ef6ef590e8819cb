#pragma once

#include <QList>
#include <QString>

// What tells a serial adapter apart from another when it comes back, possibly under another name
// (ttyUSB0 -> ttyUSB1, COM3 -> COM5).
struct PortIdentity
{
    QString name; // as opened: a system name (ttyUSB0, COM3) or a path
    QString serialNumber; // empty when the adapter reports none
    quint16 vendorId = 0; // 0 with productId 0: not a USB adapter, or not known
    quint16 productId = 0;
    QString location; // the physical port it is plugged into; empty where not known

    bool hasUsbId() const { return vendorId != 0 || productId != 0; }

    // The identity of the port opened under this name now (the name only, when the system does
    // not list it: a pseudo-terminal or a link).
    static PortIdentity of(const QString &name);
    // Every port the system lists now.
    static QList<PortIdentity> present();
    // Where the device behind a system port name is plugged in; empty where not known.
    static QString locationOf(const QString &systemName);

    // The index in present of the port that is the wanted adapter, or -1. A different adapter
    // is never taken: with a serial number only that serial number matches; without one, the
    // vendor and product id and the physical location must match (the old name where the
    // location is not known); a port without USB ids matches only by its name.
    static int find(const PortIdentity &wanted, const QList<PortIdentity> &present);
};
