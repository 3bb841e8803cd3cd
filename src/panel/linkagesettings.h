#pragma once

#include "form/formhandlers.h"

// The linkage settings page: host model, input channel, the linkage-on and
// reset-time boxes, and the filter and reset times.
class LinkageSettings : public FormHandlers
{
public:
    explicit LinkageSettings(Form1Context &context);

    void Check3_Click();
    void Check4_Click();
    void Combo4_Click();
    void Combo5_Click();
    void Text1_Change();
    void Text2_Change();
};
