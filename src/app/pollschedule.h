#pragma once

#include "form/formhandlers.h"

class PortProbe;
class Senders;

// Start-up, the page switch and the poll schedule: a host page opens the
// port, switches every output off and starts polling; any other page stops
// polling and closes the port.
class PollSchedule : public FormHandlers
{
public:
    PollSchedule(Form1Context &context, PortProbe &probe, Senders &senders);

    void Form_Load();
    void SSTab1_Click();

private:
    void enterHostPage(int page);
    void closePort();

    PortProbe &m_probe;
    Senders &m_senders;
    // A host page is polling since it was entered.
    bool m_polling = false;
};
