#pragma once

#include "form/formhandlers.h"

// The lamp timer: once per poll cycle, while linkage is off, repaints every
// lamp of the host in use from the last replies.
class LampRendering : public FormHandlers
{
public:
    explicit LampRendering(Form1Context &context);

    void Timer3_Timer();
};
