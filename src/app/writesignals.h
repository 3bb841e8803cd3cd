#pragma once

// Keeps a failed write from ending the program: one to a pipe whose reader
// has gone, or one past the file size limit. Where the system raises no
// signals for these (writesignals_none.cpp), there is nothing to do.
void ignoreWriteSignals();
