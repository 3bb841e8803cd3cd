#pragma once

#include "form/formhandlers.h"

class LinkageSettings;
class Senders;

// Editing the linkage table: confirm the chosen channel's row, clear the
// whole table, add the default diagonal.
class LinkageTableEditing : public FormHandlers
{
public:
    LinkageTableEditing(Form1Context &context, LinkageSettings &settings, Senders &senders);

    void Command3_Click();
    void Command4_Click();
    void Command6_Click();

private:
    void abandonCheckOfEmptyTable();

    LinkageSettings &m_settings;
    Senders &m_senders;
};
