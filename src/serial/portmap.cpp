#include "serial/portmap.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

namespace {

constexpr int16_t kFirstPort = 1;
constexpr int16_t kLastPort = 8;

#ifndef Q_OS_WIN
QString overrideFor(int16_t n)
{
    const QByteArray variable = "ALARM_HOST_TESTER_COM" + QByteArray::number(n);
    return qEnvironmentVariable(variable.constData());
}
#endif

// "ttyUSB10" sorts as kind, "ttyUSB", 10.
std::tuple<int, QString, int> sortKey(const QString &name)
{
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    const QString stem = name.left(digits);
    int kind = 0;
    if (stem == QLatin1String("ttyUSB"))
        kind = 1;
    else if (stem == QLatin1String("ttyACM"))
        kind = 2;
    return {kind, stem, name.mid(digits).toInt()};
}

} // namespace

PortDescription portForNumber(int16_t n, QList<PortDescription> present,
                              const QString &override, const QString &overrideTarget)
{
    if (n < kFirstPort || n > kLastPort)
        return {};
    if (!override.isEmpty()) {
        for (PortDescription port : present) {
            if (!overrideTarget.isEmpty() && port.systemLocation == overrideTarget) {
                port.systemLocation = override;
                return port;
            }
        }
        return {QFileInfo(override).fileName(), override, {}, {}, {}};
    }
    std::sort(present.begin(), present.end(),
              [](const PortDescription &a, const PortDescription &b) {
        return sortKey(a.name) < sortKey(b.name);
    });
    return n <= present.size() ? present.at(n - 1) : PortDescription{};
}

QList<PortDescription> presentPorts()
{
    QList<PortDescription> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        ports.append({info.portName(), info.systemLocation(), info.description(),
                      info.manufacturer(), info.serialNumber()});
    }
    return ports;
}

PortDescription describePort(int16_t n, const QList<PortDescription> &present)
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("COM%1").arg(n);
    for (const PortDescription &port : present) {
        if (port.name == name)
            return {name, name, port.description, port.manufacturer, port.serialNumber};
    }
    return {name, name, {}, {}, {}};
#else
    const QString override = overrideFor(n);
    return portForNumber(n, present, override,
                         QFileInfo(override).canonicalFilePath());
#endif
}

QString deviceForPort(int16_t n)
{
    if (n < kFirstPort || n > kLastPort)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    // With an override the ports present need not be listed.
    const QString override = overrideFor(n);
    return portForNumber(n, override.isEmpty() ? presentPorts() : QList<PortDescription>{},
                         override)
        .systemLocation;
#endif
}
