#pragma once

#include "form/formhandlers.h"

#include <array>

// The lock and reset buttons of the two host pages. Lock stops polling and
// blocks reset and cancel; reset switches every linkage output off.
class ResetLock : public FormHandlers
{
public:
    explicit ResetLock(Form1Context &context);

    void Command7_Click(int Index);
    void Command8_Click(int Index);

private:
    // What each lock button's caption offers. A press is decided by the
    // pressed button's caption, not by `locked`; this is that caption as a
    // value, set together with the text.
    enum class LockCaption { Lock, Unlock };
    std::array<LockCaption, 2> m_caption{LockCaption::Lock, LockCaption::Lock};
};
