#include "resetlock.h"

#include "platform/checkbox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"

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
        showError(QStringLiteral("你现在处于锁定状态,不能复位"));
        return;
    }
    if (state.hostType == 0) {
        for (int i = 0; i <= 7; ++i) {
            ui.Shape1[i]->setFillColor(kLampGrey);
            ui.Shape2[i]->setFillColor(kLampGrey);
            ui.Check1[i]->setValue(0);
        }
    } else {
        for (int i = 0; i <= 7; ++i) {
            ui.Shape3[i]->setFillColor(kLampGrey);
            ui.Check5[i]->setValue(0);
        }
        for (int i = 8; i <= 15; ++i) {
            ui.Shape3[i]->setFillColor(kLampGrey);
            ui.Shape2[i]->setFillColor(kLampGrey);
        }
    }
    state.linkageOutputMask = 0;
    linkageswithout();
    ui.Command8[Index]->setVisible(false);
}
