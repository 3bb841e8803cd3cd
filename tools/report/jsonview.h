#pragma once

#include "record.h"

#include <QByteArray>

// The record as JSON, for machines and tests: session, inputs, outputs,
// linkage and link.
QByteArray jsonView(const record::Record &r);
