#include "serial/serialdriver.h"

PortError openFailure(const QString &, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return PortError::NoSuchPort;
    // Windows refuses a port held by another program as access denied.
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return PortError::PortInUse;
    default:
        return PortError::OpenFailed;
    }
}

// Nothing to wait on here: the waits of the close end at once.
bool waitOnLine(LineHandle, const QDeadlineTimer &)
{
    return false;
}

std::optional<int> driverQueued(LineHandle)
{
    return std::nullopt;
}

std::optional<bool> transmitterEmpty(LineHandle)
{
    return std::nullopt;
}

void requestLowLatency(LineHandle) {}
