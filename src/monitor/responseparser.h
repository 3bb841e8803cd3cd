#pragma once

#include "form/formhandlers.h"

class Senders;

// The receive event: files every reception into the reply row of the
// outstanding query and, while linkage is on, judges the inputs.
class ResponseParser : public FormHandlers
{
public:
    ResponseParser(Form1Context &context, Senders &senders);

    void MSComm1_OnComm();

private:
    void preLinkageInputCheck();
    void linkageEvaluation();

    Senders &m_senders;
};
