#pragma once

#include "form/formhandlers.h"

class CheckBox;

// The manual output boxes of both host pages; both rows edit the one
// manual output mask that the poll cycle sends.
class ManualOutputs : public FormHandlers
{
public:
    explicit ManualOutputs(Form1Context &context);

    void Check1_Click(int Index);
    void Check5_Click(int Index);

private:
    void follow(const CheckBox *box, int i);
};
