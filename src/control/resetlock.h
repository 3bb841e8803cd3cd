#pragma once

#include "form/formhandlers.h"

// The lock and reset buttons of the two host pages. Lock stops polling and
// blocks reset and cancel; reset switches every linkage output off.
class ResetLock : public FormHandlers
{
public:
    explicit ResetLock(Form1Context &context);

    void Command7_Click(int Index);
    void Command8_Click(int Index);
};
