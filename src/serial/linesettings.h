#pragma once

#include <QString>

#include <optional>

// Line settings of the "9600,n,8,1" form. Every caller sends eight data
// bits, no parity and one stop bit; only the speed varies.
struct LineSettings
{
    qint32 baudRate = 9600;

    // Empty for text that is not a valid setting.
    static std::optional<LineSettings> parse(const QString &text);
    // Bits on the line per character, start and stop bits included.
    static constexpr double kBitsPerCharacter = 10.0;
};
