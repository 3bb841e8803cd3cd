#pragma once

#include "form/formhandlers.h"

// The cancel-linkage buttons of the two host pages: every output off, the
// tool back to set-up and the parameter page in front.
class CancelLinkage : public FormHandlers
{
public:
    explicit CancelLinkage(Form1Context &context);

    void Command2_Click(int Index);
};
