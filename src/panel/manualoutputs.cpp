#include "panel/manualoutputs.h"

#include "platform/checkbox.h"

ManualOutputs::ManualOutputs(Form1Context &context)
    : FormHandlers(context)
{
}

void ManualOutputs::Check1_Click(int Index)
{
    follow(ui.Check1[Index], Index);
}

void ManualOutputs::Check5_Click(int Index)
{
    follow(ui.Check5[Index], Index);
}

void ManualOutputs::follow(const CheckBox *box, int i)
{
    if (box->value() == 1)
        state.manualOutputMask = uint8_t(state.manualOutputMask | (1 << i));
    else
        state.manualOutputMask = uint8_t(state.manualOutputMask & (255 - (1 << i)));
}
