#pragma once

#include "form/formhandlers.h"

class LinkageSettings;

// The cancel-linkage buttons of the two host pages: every output off, the
// tool back to set-up and the parameter page in front.
class CancelLinkage : public FormHandlers
{
public:
    CancelLinkage(Form1Context &context, LinkageSettings &settings);

    void Command2_Click(int Index);

private:
    LinkageSettings &m_settings;
};
