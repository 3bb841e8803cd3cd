#pragma once

#include "record.h"

#include <QString>

// The session as an SVG picture: a row per input and output with its alarm
// and output-on spans, a row of the line's missing replies and bad frames,
// port failures across all rows, the time axis in local clock time.
QString timelineSvg(const record::Record &r);
