#pragma once

#include "form/formhandlers.h"
#include "serial/portfailure.h"

#include <cstdint>

// The parameter lists and the port probe: reads port, address and poll
// period, opens and closes the chosen port, reports failures, retries the
// next port 50 ms after the box is closed and ends the program at the
// eighth failure.
class PortProbe : public FormHandlers
{
public:
    explicit PortProbe(Form1Context &context);

    void firstcheck();
    void checkcommport(int16_t &intcommport);
    void Combo1_Click();
    void Combo2_Click();
    void Combo3_Click();
    void Timer7_Timer();

    // The port set-up sequence, in its order, before every open.
    bool applyPortSetup(int16_t port);

    // The operator's text for a port that failed with `failure`.
    static QString portFailureText(int16_t port, const PortFailure &failure);

    // Whether the last probe reported `port` failing with `failure`; it
    // stays reported until the port opens again or another is probed.
    bool reported(int16_t port, const PortFailure &failure) const;
    void forgetReport() { m_reportedPort = -1; }

private:
    void readHostAddress();
    void readPollPeriod();

    int16_t m_reportedPort = -1; // -1: none
    PortFailure m_reportedFailure;
};
