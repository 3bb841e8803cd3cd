#pragma once

#include <QFile>
#include <QString>

enum class TraceFileOpen { Opened, NameTaken, Refused };

// Opens `file` for writing (with the Append, Truncate, NewOnly or Unbuffered
// flags of `mode`) only if it is, or is created as, a regular file of this
// user, named without a symbolic link. A FIFO, a device or a terminal is
// refused without waiting for a reader, so tracing never blocks and a reader
// going away cannot raise SIGPIPE; a link or another user's file is refused
// so that no one can point the lines, or the emptying, at a file of their
// choice. Truncate empties the file only once it has passed. NameTaken: a
// NewOnly name is in use. `error` names the reason of a refusal.
// (The file's name is not kept: QFile drops it when opened on a descriptor.)
//
// Where the system offers no descriptor calls, the checks by name before
// opening are all there is.
TraceFileOpen openRegularFile(QFile &file, QIODevice::OpenMode mode, QString *error);
