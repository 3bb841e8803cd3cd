#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// One line of a trace of the line, shared by the tester's trace and the host
// simulator's, so the two files of one session merge by time:
//   <CLOCK_MONOTONIC microseconds> <what>[ <bytes in hex>][  <meaning>]\n
QByteArray traceLine(qint64 micros, const char *what, const QByteArray &bytes, const QString &meaning = {});

// The clock every trace line is stamped with (CLOCK_MONOTONIC on Linux).
qint64 traceMicroseconds();

// Writes all of `line`; false with the reason in `error` if it cannot.
bool writeLine(QFile &file, const QByteArray &line, QString *error);
