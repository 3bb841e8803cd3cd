#include "link/senders.h"

#include "link/portprobe.h"
#include "platform/intervaltimer.h"
#include "serial/commandframe.h"
#include "serial/replyframer.h"
#include "serial/serialcomponent.h"

Senders::Senders(Form1Context &context, PortProbe &probe, ReplyFramer &framer)
    : FormHandlers(context)
    , m_probe(probe)
    , m_framer(framer)
{
}

void Senders::Timer1_Timer()
{
    const QByteArray frame = commandFrame(state.hostAddress, InputStatusQuery, 0);
    state.awaitingInputReply = true;
    if (!write(frame))
        return;
    Timer1.setEnabled(false);
    Timer2.setInterval(20);
    Timer2.setEnabled(true);
}

void Senders::Timer2_Timer()
{
    const QByteArray frame = commandFrame(state.hostAddress, OutputStatusQuery, 0);
    if (!write(frame))
        return;
    state.awaitingInputReply = false;
    Timer2.setEnabled(false);
    if (!state.linkageActive) {
        Timer3.setInterval(20);
        Timer3.setEnabled(true);
    } else {
        Timer1.setInterval(state.timeSettings[0]);
        Timer1.setEnabled(true);
    }
}

void Senders::Timer4_Timer()
{
    const QByteArray frame = commandFrame(state.hostAddress, OutputCommand, state.manualOutputMask);
    if (!write(frame))
        return;
    Timer4.setEnabled(false);
    Timer1.setInterval(state.timeSettings[0]);
    Timer1.setEnabled(true);
}

void Senders::Timer8_Timer()
{
    const QByteArray frame = commandFrame(state.hostAddress, OutputCommand, uint8_t(state.linkageOutputMask));
    // Sent on its own behind a cancel or a reset: a port the probe has just
    // reported failing stops it without a second box.
    if (!openIfClosed(true) || !write(frame))
        return;
    Timer1.setInterval(30);
    // Polling resumes only where it belongs: not behind the parameter or
    // settings pages, whose port must be free again once the outputs are
    // off; but an input check waiting on the settings page needs the polls
    // and the port to be decided. A lock does not hold it back: the lock
    // holds the outputs and refuses reset and cancel, and queries change
    // neither.
    const bool polls = hostPageCurrent() || state.inputCheckPending;
    Timer1.setEnabled(polls);
    Timer8.setEnabled(false);
    if (!polls)
        MSComm1.setPortOpen(false);
}

bool Senders::handout()
{
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    const QByteArray frame = commandFrame(state.hostAddress, OutputCommand, state.manualOutputMask);
    if (!openIfClosed() || !write(frame))
        return false;
    Timer4.setEnabled(false);
    Timer1.setInterval(30);
    Timer1.setEnabled(true);
    return true;
}

void Senders::linkFailed(bool quietIfProbed)
{
    const QString description = MSComm1.errorDescription();
    stopPolling();
    Timer8.setEnabled(false);
    // The linkage timers would only try the dead port again, with a second
    // message. A reset that was due leaves the filter pending, as it would
    // have; a stopped filter count starts again with the next alarm.
    if (Timer6.isCounting())
        state.filterPending = true;
    Timer5.setEnabled(false);
    Timer6.setEnabled(false);
    MSComm1.setPortOpen(false);
    if (quietIfProbed && m_probe.reported(state.portNumber, description))
        return;
    showError(PortProbe::portFailureText(state.portNumber, description));
}

bool Senders::write(const QByteArray &frame)
{
    m_framer.written(frame);
    if (MSComm1.output(frame))
        return true;
    linkFailed();
    return false;
}

void Senders::abandonInputCheck()
{
    stopPolling();
    if (!hostPageCurrent())
        MSComm1.setPortOpen(false);
    state.linkageActive = false;
    state.inputCheckPending = false;
}

bool Senders::openIfClosed(bool quietIfProbed)
{
    if (MSComm1.portOpen())
        return true;
    if (MSComm1.setPortOpen(true)) {
        // Open again: what the probe reported of it no longer holds, and
        // nothing is known yet of the line behind it.
        m_probe.forgetReport();
        m_framer.portOpened();
        return true;
    }
    linkFailed(quietIfProbed);
    return false;
}
