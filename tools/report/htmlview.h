#pragma once

#include "record.h"

#include <QByteArray>

// The record as a page that holds everything it shows (inline CSS and SVG,
// no script, nothing fetched) and prints on A4: the walk test and the
// timeline on the first page, the line's figures and every event after.
QByteArray htmlView(const record::Record &r);
