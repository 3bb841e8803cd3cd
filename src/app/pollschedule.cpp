#include "app/pollschedule.h"

#include "link/portprobe.h"
#include "link/senders.h"
#include "platform/intervaltimer.h"
#include "platform/platform.h"
#include "platform/tabcontrol.h"
#include "serial/serialcomponent.h"
#include "serial/tracenotes.h"

#include <utility>

PollSchedule::PollSchedule(Form1Context &context, PortProbe &probe, Senders &senders)
    : FormHandlers(context)
    , m_probe(probe)
    , m_senders(senders)
{
}

void PollSchedule::Form_Load()
{
    if (form.platform->anotherInstanceRunning()) {
        showError(QStringLiteral("你已经正在使用本公司,请只启动一次本软件"));
        form.platform->endProgram();
        return;
    }
    state.portNumber = 1;
    state.awaitingInputReply = false;
    state.portErrorCount = 1;
    state.clearReplyTable();
    state.timeSettings = {50, 0, 0, 0};
    state.clearLinkageTable();
    state.linkageTableChecked = false;
    state.linkageActive = false;
    ui.SSTab1->setTab(3);
    m_probe.firstcheck();
}

void PollSchedule::SSTab1_Click()
{
    stopPolling();
    // The trace tells where a host page's polling ended.
    if (std::exchange(m_polling, false))
        MSComm1.annotate(traceword::kPollStop, {}, {});
    // Only the start's own last stage leaves the settings page with the
    // check passed; any other way out abandons a check still waiting, or a
    // host page would poll with linkage on that never started.
    if (state.inputCheckPending)
        m_senders.abandonInputCheck();
    switch (ui.SSTab1->tab()) {
    case 0:
    case 1:
        enterHostPage(ui.SSTab1->tab());
        break;
    case 2:
        closePort();
        break;
    case 3:
        closePort();
        m_probe.firstcheck();
        break;
    case 4:
        closePort();
        state.inputCheckPassed = false;
        break;
    default:
        break;
    }
}

void PollSchedule::enterHostPage(int page)
{
    closePort();
    if (!m_probe.applyPortSetup(state.portNumber)) {
        m_senders.linkFailed();
        return;
    }
    state.hostType = page == 0 ? 0 : 1;
    if (page == 0)
        state.manualOutputMask = 0;
    restoreHostPage(page);
    state.manualOutputMask = 0;
    // handout opens the port; when it cannot, it has told the operator and
    // left polling stopped and the port closed.
    if (!m_senders.handout())
        return;
    if (!m_senders.openIfClosed())
        return;
    Timer1.setInterval(state.timeSettings[0]);
    Timer1.setEnabled(true);
    m_polling = true;
    MSComm1.annotate(traceword::kPollStart, {},
                     tracenote::pollStart(state.hostAddress, page == 0 ? 8 : 16, state.timeSettings[0]));
}

void PollSchedule::closePort()
{
    if (MSComm1.portOpen())
        MSComm1.setPortOpen(false);
}
