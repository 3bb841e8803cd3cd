#include "form/formhandlers.h"

#include "platform/checkbox.h"
#include "platform/intervaltimer.h"
#include "platform/lamp.h"
#include "platform/messagebox.h"
#include "platform/tabcontrol.h"

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

void FormHandlers::restoreHostPage(int host) const
{
    if (host == 0) {
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
}

CommandButton *FormHandlers::resetButton() const
{
    return ui.Command8[state.hostType == 0 ? 0 : 1];
}

bool FormHandlers::hostPageCurrent() const
{
    const int page = ui.SSTab1->tab();
    return page == 0 || page == 1;
}
