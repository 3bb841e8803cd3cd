#include "control/linkagetableediting.h"

#include "link/senders.h"
#include "panel/linkagesettings.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"

LinkageTableEditing::LinkageTableEditing(Form1Context &context, LinkageSettings &settings, Senders &senders)
    : FormHandlers(context)
    , m_settings(settings)
    , m_senders(senders)
{
}

void LinkageTableEditing::Command3_Click()
{
    const int channel = std::max(ui.Combo5->listIndex(), 0);
    for (int k = 0; k <= 7; ++k)
        state.linkageTable[channel][k] = int16_t(ui.Check2[k]->value());
    // The row may have emptied the table: the next start checks it again.
    state.linkageTableChecked = false;
    abandonCheckOfEmptyTable();
}

void LinkageTableEditing::Command4_Click()
{
    state.clearLinkageTable();
    // An empty table must be refused again by the next start.
    state.linkageTableChecked = false;
    abandonCheckOfEmptyTable();
    m_settings.Combo5_Click();
}

void LinkageTableEditing::Command6_Click()
{
    const int last = std::min(ui.Combo5->listCount(), 16) - 1;
    if (last > 7) {
        for (int k = 0; k <= 7; ++k)
            state.linkageTable[k][k] = 1;
        for (int k = 7; k >= 0; --k)
            state.linkageTable[last - 7 + k][k] = 1;
    } else {
        for (int k = 0; k <= 7; ++k)
            state.linkageTable[k][k] = 1;
    }
    m_settings.Combo5_Click();
}

// A start waiting for its input check would go on, once the host answers,
// to refuse the emptied table inside the receive event and leave linkage
// half on: it is abandoned, as when linkage is unticked.
void LinkageTableEditing::abandonCheckOfEmptyTable()
{
    if (state.inputCheckPending && state.linkageTableEmpty())
        m_senders.abandonInputCheck();
}
