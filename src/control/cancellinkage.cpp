#include "control/cancellinkage.h"

#include "panel/linkagesettings.h"
#include "platform/checkbox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "platform/tabcontrol.h"
#include "serial/serialcomponent.h"
#include "serial/tracenotes.h"

#include <QGroupBox>

CancelLinkage::CancelLinkage(Form1Context &context, LinkageSettings &settings)
    : FormHandlers(context)
    , m_settings(settings)
{
}

void CancelLinkage::Command2_Click(int Index)
{
    if (state.locked) {
        showLockedError();
        return;
    }
    stopPolling();
    Timer8.setEnabled(false);
    state.linkageActive = false;
    MSComm1.annotate(traceword::kLinkageEnd, {}, {});
    state.manualOutputMask = 0;
    // The pressed button's page, whichever host is in use.
    const HostControls hostPage = host(Index);
    if (hostPage.page() == 0) {
        for (int i = 0; i <= 7; ++i) {
            hostPage.manualBox(i)->setEnabled(true);
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
            hostPage.outputLamp(i)->setFillColor(kLampGrey);
            hostPage.manualBox(i)->setValue(0);
        }
    } else {
        for (int i = 0; i <= 7; ++i) {
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
            hostPage.manualBox(i)->setEnabled(true);
            hostPage.manualBox(i)->setValue(0);
        }
        for (int i = 8; i <= 15; ++i) {
            hostPage.outputLamp(i - 8)->setFillColor(kLampGrey);
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
        }
    }
    setOtherPagesEnabled(hostPage, true);
    hostPage.outputFrame()->setEnabled(true);
    state.linkageOutputMask = 0;
    linkageswithout();
    ui.SSTab1->setTab(3);
    state.filterPending = false;
    hostPage.cancelButton()->setVisible(false);
    ui.Command1->setEnabled(false);
    hostPage.lockButton()->setVisible(false);
    hostPage.resetButton()->setVisible(false);
    ui.Check3->setValue(0);
    state.clearReplyTable();
    state.timeSettings = {50, 0, 0, 0};
    state.clearLinkageTable();
    state.linkageTableChecked = false;
    state.linkageActive = false;
    m_settings.Combo5_Click();
}
