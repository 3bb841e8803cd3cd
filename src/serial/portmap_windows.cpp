#include "serial/portmap.h"

PortDescription describePort(int16_t n, const QList<PortDescription> &present)
{
    const QString name = QStringLiteral("COM%1").arg(n);
    for (const PortDescription &port : present) {
        if (port.name == name)
            return {name, name, port.description, port.manufacturer, port.serialNumber, port.usb};
    }
    return {name, name, {}, {}, {}};
}

QString deviceForPort(int16_t n)
{
    if (n < kFirstComPort || n > kLastComPort)
        return {};
    return QStringLiteral("COM%1").arg(n);
}
