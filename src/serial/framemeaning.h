#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// Channel numbers of the set bits of a status byte, ascending; bit 0 is
// channel `first`.
QList<int> setChannels(uint8_t byte, int first);
// "1 3 8", the numbers joined by blanks.
QString channelText(const QList<int> &channels);

// What a frame written to the line asks for, in words, such as
// "input status query, address 0".
QString commandMeaning(const QByteArray &frame);
struct Reception;

// Why a piece of a reception was filed or left out, such as "from address
// 7" or "the adapter's echo of the frame written".
QString verdictMeaning(const Reception &reception);
// What a reception says, judged on its own bytes (its command byte tells
// which reply it is), such as "inputs 1 3 in alarm"; short, long and
// bad-checksum receptions are named as such.
QString receptionMeaning(const QByteArray &bytes);
