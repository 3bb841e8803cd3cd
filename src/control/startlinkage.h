#pragma once

#include "form/formhandlers.h"

class Senders;

// The start-linkage button. Each run performs one stage, chosen by the
// shared flags: the table check, the input check (decided by the reply
// parser, which presses the button again) and the start itself.
class StartLinkage : public FormHandlers
{
public:
    StartLinkage(Form1Context &context, Senders &senders);

    void Command1_Click();

private:
    void tableCheck();
    void inputCheck();
    void start();

    Senders &m_senders;
};
