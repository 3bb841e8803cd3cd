#pragma once

#include "platform/platform.h"
#include "support/fakeserialcomponent.h"
#include "support/recordingmessagebox.h"
#include "support/virtualclock.h"

// The platform of the tests: a virtual clock, a fake port, recorded boxes.
class VirtualPlatform : public Platform
{
public:
    VirtualPlatform()
        : port([this] { return clock.now(); })
        , boxes([this] { return clock.now(); })
    {
    }

    IntervalTimer *createTimer(QObject *parent) override { return clock.createTimer(parent); }
    SerialComponent &serial() override { return port; }
    MessageBox &messageBox() override { return boxes; }
    bool anotherInstanceRunning() override { return otherInstance; }
    void endProgram() override { ++endCount; }

    VirtualClock clock;
    FakeSerialComponent port;
    RecordingMessageBox boxes;
    bool otherInstance = false;
    int endCount = 0;
};
