#include "serial/portmap.h"

#include <QSerialPortInfo>

QList<PortDescription> presentPorts()
{
    QList<PortDescription> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        ports.append({info.portName(), info.systemLocation(), info.description(), info.manufacturer(),
                      info.serialNumber(), info.hasVendorIdentifier() && info.hasProductIdentifier()});
    }
    return ports;
}
