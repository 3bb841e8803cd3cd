#pragma once

class IntervalTimer;
class MessageBox;
class QObject;
class SerialComponent;

// What the window needs of the machine it runs on. The desktop platform
// gives real timers, the real port and real boxes; the test platform a
// virtual clock, a fake port and recorded boxes.
class Platform
{
public:
    virtual ~Platform() = default;

    virtual IntervalTimer *createTimer(QObject *parent) = 0;
    virtual SerialComponent &serial() = 0;
    virtual MessageBox &messageBox() = 0;
    virtual bool anotherInstanceRunning() = 0;
    // Ends the program at once: no further event is dispatched.
    virtual void endProgram() = 0;
};
