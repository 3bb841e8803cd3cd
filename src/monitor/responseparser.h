#pragma once

#include "form/formhandlers.h"

// The receive event: files every reception into the reply row of the
// outstanding query and, while linkage is on, judges the inputs.
class ResponseParser : public FormHandlers
{
public:
    explicit ResponseParser(Form1Context &context);

    void MSComm1_OnComm();

private:
    void preLinkageInputCheck();
    void linkageEvaluation();
};
