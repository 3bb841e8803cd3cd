#pragma once

#include "serial/portfailure.h"

// The operator's description of a port failure: what the window's box
// builds on, what the scanner prints and what a trace's "fail" line says.
QString portFailureDescription(const PortFailure &failure);
