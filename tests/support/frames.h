#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// "E0 00 3F 00 00 1F"
QString hexBytes(const QByteArray &bytes);

// A frame as it should be on the line, a command of the window or a reply
// of the host: E0, address, code, b3, b4, checksum. The checksum is summed
// here rather than by the program's own frame code, so that a fault there
// shows up as a wrong frame in the tests.
QByteArray lineFrame(uint8_t code, uint8_t b3, uint8_t b4 = 0, uint8_t address = 0);
