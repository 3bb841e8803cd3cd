#pragma once

#include "record.h"

#include <QString>

// The record in a screenful of text: the walk test by verdict, linkage,
// the line's verdict and figures.
QString summaryView(const record::Record &r);
