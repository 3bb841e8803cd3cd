#include "control/cancellinkage.h"

#include "panel/linkagesettings.h"
#include "platform/checkbox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"

#include <QGroupBox>

CancelLinkage::CancelLinkage(Form1Context &context)
    : FormHandlers(context)
{
}

void CancelLinkage::Command2_Click(int Index)
{
    if (state.locked) {
        showError(QStringLiteral("你现在处于锁定状态,不能复位"));
        return;
    }
    stopPolling();
    Timer8.setEnabled(false);
    state.linkageActive = false;
    state.manualOutputMask = 0;
    if (Index == 0) {
        for (int i = 0; i <= 7; ++i) {
            ui.Check1[i]->setEnabled(true);
            ui.Shape1[i]->setFillColor(kLampGrey);
            ui.Shape2[i]->setFillColor(kLampGrey);
            ui.Check1[i]->setValue(0);
        }
        for (const int page : {1, 2, 3, 4})
            ui.SSTab1->setTabEnabled(page, true);
        ui.Frame3->setEnabled(true);
    } else {
        for (int i = 0; i <= 7; ++i) {
            ui.Shape3[i]->setFillColor(kLampGrey);
            ui.Check5[i]->setEnabled(true);
            ui.Check5[i]->setValue(0);
        }
        for (int i = 8; i <= 15; ++i) {
            ui.Shape2[i]->setFillColor(kLampGrey);
            ui.Shape3[i]->setFillColor(kLampGrey);
        }
        for (const int page : {0, 2, 3, 4})
            ui.SSTab1->setTabEnabled(page, true);
        ui.Frame10->setEnabled(true);
    }
    state.linkageOutputMask = 0;
    linkageswithout();
    ui.SSTab1->setTab(3);
    state.filterPending = false;
    ui.Command2[Index]->setVisible(false);
    ui.Command1->setEnabled(false);
    ui.Command7[Index]->setVisible(false);
    ui.Command8[Index]->setVisible(false);
    ui.Check3->setValue(0);
    state.clearReplyTable();
    state.timeSettings = {50, 0, 0, 0};
    state.clearLinkageTable();
    state.linkageTableChecked = false;
    state.linkageActive = false;
    form.settings->Combo5_Click();
}
