#include "form/hostcontrols.h"

Lamp *HostControls::inputLamp(int channel) const
{
    return m_page == 0 ? m_ui->Shape1[channel] : m_ui->Shape3[channel];
}

Lamp *HostControls::outputLamp(int output) const
{
    return m_page == 0 ? m_ui->Shape2[output] : m_ui->Shape2[8 + output];
}

CheckBox *HostControls::manualBox(int output) const
{
    return m_page == 0 ? m_ui->Check1[output] : m_ui->Check5[output];
}

CommandButton *HostControls::lockButton() const
{
    return m_ui->Command7[m_page];
}

CommandButton *HostControls::resetButton() const
{
    return m_ui->Command8[m_page];
}

CommandButton *HostControls::cancelButton() const
{
    return m_ui->Command2[m_page];
}

QGroupBox *HostControls::outputFrame() const
{
    return m_page == 0 ? m_ui->Frame3 : m_ui->Frame10;
}
