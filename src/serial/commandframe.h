#pragma once

#include <QByteArray>

#include <cstdint>

// The three command codes the host understands.
enum CommandCode : uint8_t {
    InputStatusQuery = 0x3F,
    OutputStatusQuery = 0x3B,
    OutputCommand = 0x3D,
};

// Every frame on the line, command or reply, is this long.
constexpr int kFrameLength = 6;

// The low eight bits of the sum of the first five bytes of a frame.
uint8_t frameChecksum(const QByteArray &frame);
// Six bytes whose last one is the checksum of the others.
bool checksumValid(const QByteArray &frame);

// A six-byte command frame: E0, address, code, parameter, 00, and the low
// eight bits of the sum of the first five bytes.
QByteArray commandFrame(uint8_t hostAddress, uint8_t code, uint8_t parameter);
