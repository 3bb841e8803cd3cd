#include "control/resetlock.h"

#include "form/windowtexts.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"

ResetLock::ResetLock(Form1Context &context)
    : FormHandlers(context)
{
}

void ResetLock::Command7_Click(int Index)
{
    if (m_caption[size_t(Index)] == LockCaption::Lock) {
        state.locked = true;
        m_caption[size_t(Index)] = LockCaption::Unlock;
        ui.Command7[Index]->setText(QString::fromUtf8(kUnlockCaption));
        stopPolling();
    } else {
        state.locked = false;
        m_caption[size_t(Index)] = LockCaption::Lock;
        ui.Command7[Index]->setText(QString::fromUtf8(kLockCaption));
        Timer1.setEnabled(true);
    }
}

void ResetLock::Command8_Click(int Index)
{
    if (state.locked) {
        showLockedError();
        return;
    }
    restoreHostPage(state.hostType);
    state.linkageOutputMask = 0;
    linkageswithout();
    ui.Command8[Index]->setVisible(false);
}
