#include "control/resetlock.h"

#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"

namespace {
const QString kLockCaption = QStringLiteral("锁定状态");
const QString kUnlockCaption = QStringLiteral("取消锁定");
} // namespace

ResetLock::ResetLock(Form1Context &context)
    : FormHandlers(context)
{
}

void ResetLock::Command7_Click(int Index)
{
    if (ui.Command7[Index]->text() == kLockCaption) {
        state.locked = true;
        ui.Command7[Index]->setText(kUnlockCaption);
        stopPolling();
    } else {
        state.locked = false;
        ui.Command7[Index]->setText(kLockCaption);
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
