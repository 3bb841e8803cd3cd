#pragma once

#include "form/formhandlers.h"

class CheckBox;
class CommandButton;
class Lamp;

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

    Lamp *inputLamp(int channel) const;
    Lamp *outputLamp(int output) const;
    CheckBox *manualBox(int output) const;
    CommandButton *lockButton() const;
};
