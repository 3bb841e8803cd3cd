#pragma once

#include "form/formhandlers.h"

// The linkage filter timer (an alarm acts only once the filter time is
// over) and the automatic reset timer that follows it.
class LinkageTimers : public FormHandlers
{
public:
    explicit LinkageTimers(Form1Context &context);

    void Timer5_Timer();
    void Timer6_Timer();
};
