#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// One serial port present on this machine, as the system lists it.
struct PortDescription
{
    QString name;           // "ttyUSB0"
    QString systemLocation; // "/dev/ttyUSB0"; empty for a COM number with no device
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// The port COMn stands for, given the ports present and the value of
// ALARM_HOST_TESTER_COM<n>. The override wins; it is described like the
// present port it resolves to (`overrideTarget`, its path with links
// followed). Otherwise COMn is the n-th present port: built-in ports
// first, then USB and modem-class adapters, each kind by number, as the
// operator knows them from the COM numbers of other systems.
PortDescription portForNumber(int16_t n, QList<PortDescription> present,
                              const QString &override = {}, const QString &overrideTarget = {});

// The serial ports the system lists at this moment. Legacy ports with no
// UART behind them are left out.
QList<PortDescription> presentPorts();

// COMn among the ports `present`, with what the system says about its device.
PortDescription describePort(int16_t n, const QList<PortDescription> &present);

// The device the serial component opens for COM1..COM8, looked up at every
// open so an adapter plugged in meanwhile is found. On Windows COMn is the
// system's COMn. Empty when no device stands behind the number.
QString deviceForPort(int16_t n);
