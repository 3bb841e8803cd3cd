#pragma once

#include "form/formhandlers.h"

#include <QByteArray>

class PortProbe;
class ReplyFramer;

// The senders of the poll cycle: each writes one frame and arms the next
// step. A failing open or write stops polling and reports it once.
class Senders : public FormHandlers
{
public:
    Senders(Form1Context &context, PortProbe &probe, ReplyFramer &framer);

    void Timer1_Timer();
    void Timer2_Timer();
    void Timer4_Timer();
    void Timer8_Timer();
    // False when the port could not be opened or written (already reported).
    bool handout();

    // The port failed under us (unplugged adapter, vanished device, a port
    // that cannot be opened): stop every frame sender, the linkage timers
    // among them, close the port and tell the operator once. With
    // `quietIfProbed`, a failure the probe has just reported is not told again.
    void linkFailed(bool quietIfProbed = false);
    // Opens the port when it is closed; false when it cannot (reported).
    bool openIfClosed(bool quietIfProbed = false);
    // An input check that has not passed ends with linkage not started:
    // its polls stop, and the port it opened is closed unless a host page
    // is in front. A new press of the start button checks again.
    void abandonInputCheck();

private:
    bool write(const QByteArray &frame);

    PortProbe &m_probe;
    ReplyFramer &m_framer;
};
