#include "app/writesignals.h"

#include <csignal>

void ignoreWriteSignals()
{
    // Standard error may be a pipe whose reader has gone; a failed write
    // there must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // A trace reaching the file size limit fails its write with EFBIG and is
    // given up with one line; the signal would end the program at once,
    // without the outputs switched off or the port drained.
    std::signal(SIGXFSZ, SIG_IGN);
}
