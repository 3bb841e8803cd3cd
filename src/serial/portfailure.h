#pragma once

#include <QString>

// What kept a serial port from doing what it was asked.
enum class PortError {
    None,
    NoSuchPort,          // no device behind the number, or none that is a serial line
    PortInUse,           // open already, or held by another program
    AccessDenied,        // the user may not open the device
    OpenFailed,          // any other refusal of the device
    DeviceGone,          // the device vanished under an open port
    WriteFailed,         // the device refused the bytes
    InvalidSettings,     // settings text not of the "9600,n,8,1" form
    UnsupportedSettings, // settings the device does not take
    PortClosed,          // a write to a port not open
};

// A failure of the port and, where its text names one, the device or the
// settings text concerned.
struct PortFailure
{
    PortError error = PortError::None;
    QString detail;

    friend bool operator==(const PortFailure &a, const PortFailure &b)
    {
        return a.error == b.error && a.detail == b.detail;
    }
    friend bool operator!=(const PortFailure &a, const PortFailure &b) { return !(a == b); }
};
