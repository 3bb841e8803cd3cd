#include "app/writesignals.h"

void ignoreWriteSignals() {}
