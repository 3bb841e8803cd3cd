#pragma once

#include <QString>

#include <cstdint>

// Number conversions shared by the handlers: a text read as the decimal
// number at its start (leading blanks skipped, nothing numeric gives 0),
// rounded to the nearest integer with halves to the even neighbour. A
// number too large for a double reads as an infinity of its sign.
double leadingNumber(const QString &text);
double roundHalfEven(double value);
// The rounded value of a text, held to the 16-bit range.
int16_t textToInt16(const QString &text);
