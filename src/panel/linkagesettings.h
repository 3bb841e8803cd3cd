#pragma once

#include "form/formhandlers.h"

class Senders;

// The linkage settings page: host model, input channel, the linkage-on and
// reset-time boxes, and the filter and reset times.
class LinkageSettings : public FormHandlers
{
public:
    LinkageSettings(Form1Context &context, Senders &senders);

    void Check3_Click();
    void Check4_Click();
    void Combo4_Click();
    void Combo5_Click();
    void Text1_Change();
    void Text2_Change();

private:
    Senders &m_senders;
};
