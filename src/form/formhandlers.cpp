#include "form/formhandlers.h"

#include "platform/checkbox.h"
#include "platform/commandbutton.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "platform/messagebox.h"
#include "platform/tabcontrol.h"

#include <QGroupBox>

FormHandlers::FormHandlers(Form1Context &context)
    : form(context)
    , state(context.state)
    , ui(context.ui)
    , MSComm1(*context.MSComm1)
    , Timer1(*context.Timer1)
    , Timer2(*context.Timer2)
    , Timer3(*context.Timer3)
    , Timer4(*context.Timer4)
    , Timer5(*context.Timer5)
    , Timer6(*context.Timer6)
    , Timer7(*context.Timer7)
    , Timer8(*context.Timer8)
{
}

void FormHandlers::showError(const QString &text) const
{
    form.messageBox->show(text, kCriticalOk, QStringLiteral("错误"));
}

void FormHandlers::showLockedError() const
{
    showError(QStringLiteral("你现在处于锁定状态,不能复位"));
}

void FormHandlers::linkageswithout() const
{
    stopPolling();
    Timer8.setInterval(20);
    Timer8.setEnabled(true);
}

void FormHandlers::stopPolling() const
{
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    Timer4.setEnabled(false);
}

void FormHandlers::restoreHostPage(int index) const
{
    const HostControls hostPage = host(index);
    if (hostPage.page() == 0) {
        for (int i = 0; i <= 7; ++i) {
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
            hostPage.outputLamp(i)->setFillColor(kLampGrey);
            hostPage.manualBox(i)->setValue(0);
        }
    } else {
        for (int i = 0; i <= 7; ++i) {
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
            hostPage.manualBox(i)->setValue(0);
        }
        for (int i = 8; i <= 15; ++i) {
            hostPage.inputLamp(i)->setFillColor(kLampGrey);
            hostPage.outputLamp(i - 8)->setFillColor(kLampGrey);
        }
    }
}

HostControls FormHandlers::host() const
{
    return HostControls(ui, state.hostType);
}

HostControls FormHandlers::host(int index) const
{
    return HostControls(ui, index);
}

void FormHandlers::setOtherPagesEnabled(const HostControls &hostPage, bool enabled) const
{
    for (int page = 0; page <= 4; ++page) {
        if (page != hostPage.page())
            ui.SSTab1->setTabEnabled(page, enabled);
    }
}

void FormHandlers::withdrawLinkageStart(const HostControls &hostPage) const
{
    state.linkageActive = false;
    for (int i = 0; i <= 7; ++i)
        hostPage.manualBox(i)->setEnabled(true);
    if (hostPage.page() == 1)
        hostPage.outputFrame()->setEnabled(true);
    hostPage.cancelButton()->setVisible(false);
    ui.Command1->setEnabled(true);
    for (int page = 0; page <= 4; ++page)
        ui.SSTab1->setTabEnabled(page, true);
    ui.SSTab1->setTab(4);
}

bool FormHandlers::hostPageCurrent() const
{
    const int page = ui.SSTab1->tab();
    return page == 0 || page == 1;
}
