#include "panel/linkagesettings.h"

#include "form/windowtexts.h"
#include "link/senders.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/textbox.h"
#include "platform/updown.h"
#include "state/numbertext.h"

#include <QGroupBox>

LinkageSettings::LinkageSettings(Form1Context &context, Senders &senders)
    : FormHandlers(context)
    , m_senders(senders)
{
}

void LinkageSettings::Check3_Click()
{
    if (ui.Check3->value() == 1) {
        ui.Frame7->setEnabled(true);
        ui.Command3->setEnabled(true);
        ui.Check4->setEnabled(true);
        ui.UpDown1->setEnabled(true);
        ui.Frame3->setEnabled(false);
        ui.Frame3->setTitle(QStringLiteral("报警主机联动输出"));
        ui.Command1->setEnabled(true);
        for (CheckBox *box : ui.Check2)
            box->setEnabled(true);
    } else {
        ui.Frame7->setEnabled(false);
        ui.Command3->setEnabled(false);
        ui.Frame3->setEnabled(true);
        ui.UpDown1->setEnabled(false);
        ui.Check4->setEnabled(false);
        ui.Frame3->setTitle(QString::fromUtf8(kManualOutputsTitle));
        for (CheckBox *box : ui.Check2)
            box->setEnabled(false);
        ui.Command1->setEnabled(false);
        // Switched off while its check still waits: the start is abandoned.
        if (state.inputCheckPending)
            m_senders.abandonInputCheck();
    }
}

void LinkageSettings::Check4_Click()
{
    const bool ticked = ui.Check4->value() == 1;
    ui.UpDown2->setEnabled(ticked);
    ui.UpDown3->setEnabled(ticked);
}

void LinkageSettings::Combo4_Click()
{
    const int n = ui.Combo4->listIndex();
    const int channels = n == 1 ? 16 : 8;
    state.hostType = n == 1 ? 1 : 0;
    ui.Combo5->clearList();
    ui.Combo5->setText(channelName(0));
    for (int i = 0; i < channels; ++i)
        ui.Combo5->addEntry(channelName(i));
    state.clearLinkageTable();
    // An empty table must be refused again by the next start.
    state.linkageTableChecked = false;
    Combo5_Click();
    ui.Text1->setText(QStringLiteral("0"));
    ui.Text2->setText(QStringLiteral("0"));
    ui.Check3->setValue(0);
    ui.Check4->setValue(0);
}

void LinkageSettings::Combo5_Click()
{
    ui.Command3->setText(linkageConfirmCaption(ui.Combo5->text()));
    const int n = std::clamp(ui.Combo5->listIndex(), 0, 15);
    for (int i = 0; i <= 7; ++i)
        ui.Check2[i]->setValue(state.linkageTable[n][i]);
}

void LinkageSettings::Text1_Change()
{
    if (leadingNumber(ui.Text1->text()) == 0)
        state.timeSettings[1] = 0;
}

void LinkageSettings::Text2_Change()
{
    state.timeSettings[2] = textToInt16(ui.Text2->text());
}
