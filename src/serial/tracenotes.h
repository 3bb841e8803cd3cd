#pragma once

#include "tracefile/tracewords.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// The trace lines that mark what the program began and ended, beside the
// lines of the line itself. Their meanings are blank-separated key=value
// fields, so a reader takes them apart without knowing their order:
//   poll-start     address=0 inputs=8 period_ms=50
//   poll-stop
//   linkage-start  filter_ms=100 reset_ms=1000 table=2:5,6;3:1
//   linkage-end
// (The first line of a trace is written by WireTrace itself.)
namespace tracenote {

QString pollStart(int address, int inputs, int periodMs);
// `table` holds, per input, a flag for each of the eight outputs; inputs
// linked to nothing are left out.
QString linkageStart(int filterMs, int resetMs, const std::array<std::array<int16_t, 8>, 16> &table);

} // namespace tracenote
