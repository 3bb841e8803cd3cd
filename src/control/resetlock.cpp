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
    if (ui.Command7[Index]->text() == QString::fromUtf8(kLockCaption)) {
        state.locked = true;
        ui.Command7[Index]->setText(QString::fromUtf8(kUnlockCaption));
        stopPolling();
    } else {
        state.locked = false;
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
