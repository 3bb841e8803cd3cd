#pragma once

#include <QString>

#include <cstdint>

// The device behind COM1..COM8. On Linux COMn is /dev/ttyS<n-1> unless the
// environment variable ALARM_HOST_TESTER_COM<n> names another device (a USB
// adapter, or a pseudo-terminal in the tests). Empty for any other number.
QString deviceForPort(int16_t n);
