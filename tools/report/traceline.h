#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// What a line of the tester's wire trace records.
enum class TraceWhat : uint8_t {
    Begin,
    Open,
    Close,
    Fail,
    Tx,
    Rx,
    PollStart,
    PollStop,
    LinkageStart,
    LinkageEnd,
    // The verdicts on the pieces of a reception, in the order of
    // ReceptionCounts.
    Filed,
    Echo,
    Stray,
    OtherAddress,
    OtherCode,
    BadChecksum,
    OtherMaster,
    // A word only the host simulator's trace uses.
    SimulatorWord,
    // A word of a later version: the line is passed over.
    Unknown,
};

constexpr bool isVerdict(TraceWhat what)
{
    return what >= TraceWhat::Filed && what <= TraceWhat::OtherMaster;
}

// One line, "<µs> <what>[ <hex bytes>][  <meaning>]", taken apart. The
// views point into the text it was parsed from.
struct TraceLine
{
    qint64 micros = 0;
    TraceWhat what = TraceWhat::Unknown;
    QByteArrayView word;
    QByteArray bytes;
    QByteArrayView meaning;
};

// False when `text` (without its line end) is not a trace line.
bool parseTraceLine(QByteArrayView text, TraceLine *line);

// The value of `key` in a meaning of blank-separated key=value fields;
// empty when absent.
QByteArrayView traceField(QByteArrayView meaning, QByteArrayView key);
