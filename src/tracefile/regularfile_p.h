#pragma once

#include "tracefile/regularfile.h"

// The reason given for a file that is not a regular one.
QString notRegular();

// The opening itself, once the checks by name have passed; one for each
// kind of system (regularfile_posix.cpp, regularfile_qt.cpp).
TraceFileOpen openCheckedFile(QFile &file, QIODevice::OpenMode mode, QString *error);
