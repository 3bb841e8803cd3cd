#pragma once

#include <QSerialPort>

#include <optional>
#include <utility>

// The port's native handle: a descriptor on Unix, a HANDLE on Windows.
using LineHandle = decltype(std::declval<const QSerialPort &>().handle());

// Whether the line's transmitter has sent everything handed to the device,
// the UART's FIFO or a USB adapter's chip included. Empty where the driver
// does not tell.
std::optional<bool> transmitterEmpty(LineHandle handle);
