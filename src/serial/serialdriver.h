#pragma once

#include "serial/portfailure.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <optional>
#include <utility>

// What the serial driver offers beyond QSerialPort. One file for each kind
// of system, chosen by the build: serialdriver_linux.cpp asks the driver,
// serialdriver_qt.cpp makes do with what QSerialPort tells.

// The port's native handle: a descriptor on Unix, a HANDLE on Windows.
using LineHandle = decltype(std::declval<const QSerialPort &>().handle());

// Why `device` did not open, QSerialPort having failed with `error`.
PortError openFailure(const QString &device, QSerialPort::SerialPortError error);

// Waits on the line until `until`; false when the device hung up or failed
// before, or where there is nothing to wait on.
bool waitOnLine(LineHandle handle, const QDeadlineTimer &until);

// How many bytes the driver still holds for the line; empty where it does
// not tell.
std::optional<int> driverQueued(LineHandle handle);

// Whether the line's transmitter has sent everything handed to the device,
// the UART's FIFO or a USB adapter's chip included. Empty where the driver
// does not tell.
std::optional<bool> transmitterEmpty(LineHandle handle);

// Asks the driver to hand received bytes up at once.
void requestLowLatency(LineHandle handle);
