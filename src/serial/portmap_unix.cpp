#include "serial/portmap.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <tuple>

namespace {

// ALARM_HOST_TESTER_COM<n>: the device as the operator gave it, and where
// it leads with links followed (empty when nothing is there now).
struct Pin
{
    QString device;
    QString target;
};
using Pins = std::array<Pin, kLastComPort>;

const Pin &pinOf(const Pins &pins, int16_t n)
{
    return pins[size_t(n - kFirstComPort)];
}

Pins readPins()
{
    Pins pins;
    for (int16_t n = kFirstComPort; n <= kLastComPort; ++n) {
        const QByteArray variable = "ALARM_HOST_TESTER_COM" + QByteArray::number(n);
        QString device = qEnvironmentVariable(variable.constData());
        // Device names count from /dev, never from wherever the program
        // happened to be started.
        if (!device.isEmpty() && QDir::isRelativePath(device))
            device = QDir::cleanPath(QStringLiteral("/dev/") + device);
        Pin &pin = pins[size_t(n - kFirstComPort)];
        pin.device = device;
        if (!device.isEmpty())
            pin.target = QFileInfo(device).canonicalFilePath();
    }
    return pins;
}

// Built-in ports, then USB adapters, then Bluetooth links; among adapters
// ttyUSB and ttyACM ahead of other drivers' names, as they always came;
// then by name and number, "ttyUSB10" after "ttyUSB2".
std::tuple<int, int, QString, int> sortKey(const PortDescription &port)
{
    const QString &name = port.name;
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    const QString stem = name.left(digits);
    // Nothing but its name tells a Bluetooth link, and it comes and goes
    // with the pairing: last, it never moves a wired port's number.
    int kind = port.usb ? 1 : 0;
    if (stem == QLatin1String("rfcomm"))
        kind = 2;
    int driver = 2;
    if (stem == QLatin1String("ttyUSB"))
        driver = 0;
    else if (stem == QLatin1String("ttyACM"))
        driver = 1;
    return {kind, driver, stem, name.mid(digits).toInt()};
}

PortDescription portForNumber(int16_t n, QList<PortDescription> present, const Pins &pins)
{
    if (n < kFirstComPort || n > kLastComPort)
        return {};
    const Pin &pin = pinOf(pins, n);
    if (!pin.device.isEmpty()) {
        for (PortDescription port : present) {
            if (!pin.target.isEmpty() && port.systemLocation == pin.target) {
                port.systemLocation = pin.device;
                return port;
            }
        }
        return {QFileInfo(pin.device).fileName(), pin.device, {}, {}, {}};
    }

    // A pinned device has its number, and a pinned number its device: the
    // others are dealt out among what is left, so none is shown twice and
    // none goes without a number because of a pin.
    present.removeIf([&pins](const PortDescription &port) {
        return std::any_of(pins.begin(), pins.end(), [&port](const Pin &other) {
            return !other.target.isEmpty() && other.target == port.systemLocation;
        });
    });
    std::sort(present.begin(), present.end(),
              [](const PortDescription &a, const PortDescription &b) { return sortKey(a) < sortKey(b); });
    qsizetype place = 0;
    for (int16_t m = kFirstComPort; m < n; ++m)
        place += pinOf(pins, m).device.isEmpty() ? 1 : 0;
    return place < present.size() ? present.at(place) : PortDescription{};
}
} // namespace

PortDescription describePort(int16_t n, const QList<PortDescription> &present)
{
    return portForNumber(n, present, readPins());
}

QString deviceForPort(int16_t n)
{
    if (n < kFirstComPort || n > kLastComPort)
        return {};
    const Pins pins = readPins();
    // A pinned number needs no listing of the ports present.
    if (!pinOf(pins, n).device.isEmpty())
        return pinOf(pins, n).device;
    return portForNumber(n, presentPorts(), pins).systemLocation;
}
