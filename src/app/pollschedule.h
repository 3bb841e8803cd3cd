#pragma once

#include "form/formhandlers.h"

// Start-up, the page switch and the poll schedule: a host page opens the
// port, switches every output off and starts polling; any other page stops
// polling and closes the port.
class PollSchedule : public FormHandlers
{
public:
    explicit PollSchedule(Form1Context &context);

    void Form_Load();
    void SSTab1_Click();

private:
    void enterHostPage(int page);
    void closePort();
};
