#pragma once

#include "form/formhandlers.h"

// Editing the linkage table: confirm the chosen channel's row, clear the
// whole table, add the default diagonal.
class LinkageTableEditing : public FormHandlers
{
public:
    explicit LinkageTableEditing(Form1Context &context);

    void Command3_Click();
    void Command4_Click();
    void Command6_Click();
};
