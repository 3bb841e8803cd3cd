#include "monitor/linkagetimers.h"

#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"

LinkageTimers::LinkageTimers(Form1Context &context)
    : FormHandlers(context)
{
}

void LinkageTimers::Timer5_Timer()
{
    Timer5.setEnabled(false);
    state.filterPending = false;
    linkageswithout();
    if (state.timeSettings[2] > 0) {
        // In 32 bits: reset times up to 600 s overflow 16-bit milliseconds.
        Timer6.setInterval(int(state.timeSettings[2]) * 1000);
        Timer6.setEnabled(true);
    }
}

void LinkageTimers::Timer6_Timer()
{
    Timer6.setEnabled(false);
    state.filterPending = true;
    host().resetButton()->press();
}
