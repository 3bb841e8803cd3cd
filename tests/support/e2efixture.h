#pragma once

#include "support/e2eharness.h"

#include <functional>
#include <memory>

// The simulator on its pseudo-terminal and the real window with COM1 on it,
// as the end-to-end cases begin; the window comes after the simulator, which
// names the pseudo-terminal.
struct E2EFixture
{
    SimulatorProcess sim;
    E2EPlatform platform;
    std::unique_ptr<Form1> form;

    bool start(const QStringList &options = {})
    {
        if (!sim.start(options))
            return false;
        form = std::make_unique<Form1>(platform);
        return true;
    }
    // Loads the window and enters `page`, or stays on the settings page.
    void load(int page = -1)
    {
        form->Form_Load();
        if (page >= 0)
            form->ui().SSTab1->setTab(page);
    }
    const Form1Widgets &ui() const { return form->ui(); }
};

// What a row does once the simulator runs and the window is built.
using E2EScenario = std::function<void(E2EFixture &)>;
Q_DECLARE_METATYPE(E2EScenario)
