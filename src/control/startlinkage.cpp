#include "control/startlinkage.h"

#include "link/senders.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "serial/serialcomponent.h"
#include "serial/tracenotes.h"
#include "state/numbertext.h"

#include <QGroupBox>

StartLinkage::StartLinkage(Form1Context &context, Senders &senders)
    : FormHandlers(context)
    , m_senders(senders)
{
}

void StartLinkage::Command1_Click()
{
    if (!state.linkageTableChecked)
        tableCheck();
    else if (!state.inputCheckPassed)
        inputCheck();
    else
        start();
}

void StartLinkage::tableCheck()
{
    int sum = 0;
    for (const auto &channel : state.linkageTable) {
        for (const int16_t entry : channel)
            sum += entry;
    }
    if (sum == 0) {
        showError(QStringLiteral("你没选择联动。请选择联动输出,并确认生效后才联动"));
        return;
    }
    state.linkageTableChecked = true;
    Command1_Click();
}

void StartLinkage::inputCheck()
{
    // A port that cannot be opened is reported and the start goes no
    // further: without replies the check would never be decided.
    if (!m_senders.openIfClosed())
        return;
    state.linkageActive = true;
    state.inputCheckPending = true;
    state.replyTable[0].fill(0);
    Timer1.setInterval(30);
    Timer1.setEnabled(true);
}

void StartLinkage::start()
{
    state.linkageActive = true;
    state.manualOutputMask = 0;
    const HostControls hostPage = host(std::max(ui.Combo4->listIndex(), 0));
    for (int i = 0; i <= 7; ++i)
        hostPage.manualBox(i)->setEnabled(false);
    if (hostPage.page() == 0) {
        setOtherPagesEnabled(hostPage, false);
        hostPage.outputFrame()->setEnabled(false);
    } else {
        hostPage.outputFrame()->setEnabled(false);
        setOtherPagesEnabled(hostPage, false);
    }
    state.timeSettings[1] = textToInt16(ui.Text1->text());
    state.timeSettings[2] = textToInt16(ui.Text2->text());
    state.filterPending = state.timeSettings[1] != 0;
    ui.SSTab1->setTab(hostPage.page());
    // The host page could not open the port and has said so: undone, the
    // start leaves no frozen pages with nothing polled behind it.
    if (!MSComm1.portOpen()) {
        withdrawLinkageStart(hostPage);
        return;
    }
    state.linkageOutputMask = state.manualOutputMask;
    linkageswithout();
    MSComm1.annotate(traceword::kLinkageStart, {},
                     tracenote::linkageStart(state.timeSettings[1] * 100, state.timeSettings[2] * 1000,
                                             state.linkageTable));
    hostPage.cancelButton()->setVisible(true);
    ui.Command1->setEnabled(false);
}
