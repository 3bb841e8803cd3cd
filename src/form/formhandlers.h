#pragma once

#include "form/form1context.h"
#include "form/hostcontrols.h"

#include <QString>

class IntervalTimer;
class SerialComponent;

// Base of the window's handler groups: gives each handler the design's
// names for what it touches (state, ui, MSComm1, Timer1..Timer8).
class FormHandlers
{
public:
    FormHandlers(const FormHandlers &) = delete;
    FormHandlers &operator=(const FormHandlers &) = delete;

protected:
    explicit FormHandlers(Form1Context &context);
    ~FormHandlers() = default;

    // A modal error box: title "错误", critical-stop icon, one OK button.
    void showError(const QString &text) const;
    // The refusal of reset and cancel while the host is locked.
    void showLockedError() const;
    // Polling stops and Timer8 sends the linkage output mask 20 ms later.
    void linkageswithout() const;
    // Timer1 to Timer4 off, in this order: the poll cycle stops.
    void stopPolling() const;
    // The lamps of host `index` (0 = 8-channel, else 16-channel) grey and
    // its manual output boxes unticked, each box through its click handler.
    void restoreHostPage(int index) const;
    // The controls of the host in use (hostType), or of host `index`.
    HostControls host() const;
    HostControls host(int index) const;
    // Every page of SSTab1 but the host's, in ascending order.
    void setOtherPagesEnabled(const HostControls &hostPage, bool enabled) const;
    // Back to the settings page as before the start was pressed: linkage
    // off, the host's manual controls and every page usable again, the
    // start button ready for another press. Frame3 stays as the linkage-on
    // box keeps it.
    void withdrawLinkageStart(const HostControls &hostPage) const;
    // Page 0 or 1 of SSTab1 is in front.
    bool hostPageCurrent() const;

    Form1Context &form;
    Module1 &state;
    Form1Widgets &ui;
    SerialComponent &MSComm1;
    IntervalTimer &Timer1;
    IntervalTimer &Timer2;
    IntervalTimer &Timer3;
    IntervalTimer &Timer4;
    IntervalTimer &Timer5;
    IntervalTimer &Timer6;
    IntervalTimer &Timer7;
    IntervalTimer &Timer8;
};
