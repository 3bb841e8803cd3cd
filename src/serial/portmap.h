#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// The COM numbers the program knows: COM1..COM8.
constexpr int16_t kFirstComPort = 1;
constexpr int16_t kLastComPort = 8;

// One serial port present on this machine, as the system lists it.
struct PortDescription
{
    QString name;           // "ttyUSB0"
    QString systemLocation; // "/dev/ttyUSB0"; empty for a COM number with no device
    QString description;
    QString manufacturer;
    QString serialNumber;
    // The system knows its USB vendor and product: a plug-in adapter,
    // whatever its driver calls it.
    bool usb = false;
};

// The serial ports the system lists at this moment. Legacy ports with no
// UART behind them are left out.
QList<PortDescription> presentPorts();

// COMn among the ports `present`, with what the system says about its device.
//
// ALARM_HOST_TESTER_COM<n> pins COMn to the device it names (a name
// relative to /dev, such as "ttyUSB0", counts from there); the pin is
// described like the present port it resolves to. The other numbers go to
// the ports no pin names, in order: built-in ports first, then USB adapters,
// then Bluetooth links, each kind by name and number, as the operator knows
// them from the COM numbers of other systems.
PortDescription describePort(int16_t n, const QList<PortDescription> &present);

// The device the serial component opens for COM1..COM8, looked up at every
// open so an adapter plugged in meanwhile is found. On Windows COMn is the
// system's COMn (portmap_windows.cpp); elsewhere the numbers are dealt out
// as above (portmap_unix.cpp). Empty when no device stands behind the number.
QString deviceForPort(int16_t n);
