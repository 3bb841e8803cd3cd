#pragma once

#include "form/form1widgets.h"

class CheckBox;
class CommandButton;
class Lamp;
class QGroupBox;

// The controls of one host page: 0 is the 8-channel page, any other value
// the 16-channel page. The two pages share Shape2, whose elements 8..15 are
// the 16-channel host's outputs 1..8.
class HostControls
{
public:
    HostControls(const Form1Widgets &ui, int host)
        : m_ui(&ui)
        , m_page(host == 0 ? 0 : 1)
    {
    }

    // The page of SSTab1 and the index of its control-array buttons.
    int page() const { return m_page; }
    int inputCount() const { return m_page == 0 ? 8 : 16; }

    Lamp *inputLamp(int channel) const;
    Lamp *outputLamp(int output) const;
    CheckBox *manualBox(int output) const;
    CommandButton *lockButton() const;
    CommandButton *resetButton() const;
    CommandButton *cancelButton() const;
    // The frame around the manual output boxes.
    QGroupBox *outputFrame() const;

private:
    const Form1Widgets *m_ui;
    int m_page;
};
