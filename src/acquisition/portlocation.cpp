// Where a serial device is plugged in, from the system's device tree.

#include "acquisition/portidentity.h"

#ifdef Q_OS_LINUX
#include <QFileInfo>
#endif

QString PortIdentity::locationOf(const QString &systemName)
{
#ifdef Q_OS_LINUX
    // /sys/class/tty/<name>/device leads to the USB interface the tty hangs off
    // (.../usb1/1-2/1-2:1.0 or .../1-2:1.0/ttyUSB0): the same path whatever name it gets.
    const QString name = QFileInfo(systemName).fileName();
    if (name.isEmpty())
        return QString();
    QString path =
            QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(name)).canonicalFilePath();
    if (path.isEmpty())
        return QString();
    if (path.endsWith(QLatin1Char('/') + name))
        path.chop(name.size() + 1);
    return path;
#else
    Q_UNUSED(systemName)
    return QString();
#endif
}
