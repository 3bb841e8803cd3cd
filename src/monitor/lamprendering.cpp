#include "monitor/lamprendering.h"

#include "platform/intervaltimer.h"
#include "platform/lamp.h"

namespace {
uint32_t statusColour(int bits, int i)
{
    return (bits & (1 << i)) != 0 ? kStatusRed : kLampGrey;
}
} // namespace

LampRendering::LampRendering(Form1Context &context)
    : FormHandlers(context)
{
}

void LampRendering::Timer3_Timer()
{
    const int in1 = state.replyTable[0][3];
    const int in2 = state.replyTable[0][4];
    const int out1 = state.replyTable[1][3];

    const HostControls lamps = host();
    for (int i = 0; i <= 7; ++i)
        lamps.inputLamp(i)->setFillColor(statusColour(in1, i));
    if (lamps.inputCount() == 16) {
        for (int i = 0; i <= 7; ++i)
            lamps.inputLamp(8 + i)->setFillColor(statusColour(in2, i));
    }

    for (int i = 0; i <= 7; ++i)
        lamps.outputLamp(i)->setFillColor(statusColour(out1, i));

    Timer3.setEnabled(false);
    Timer4.setInterval(20);
    Timer4.setEnabled(true);
}
