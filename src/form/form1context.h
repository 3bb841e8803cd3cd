#pragma once

#include "form/form1widgets.h"
#include "state/module1.h"

class IntervalTimer;
class MessageBox;
class Platform;
class SerialComponent;

// What every handler of the window reaches: the shared variables, the
// widgets, the eight interval timers, the serial component and the message
// box. Handler groups that call each other are given each other when built.
struct Form1Context
{
    Module1 state;
    Form1Widgets ui;

    IntervalTimer *Timer1 = nullptr;
    IntervalTimer *Timer2 = nullptr;
    IntervalTimer *Timer3 = nullptr;
    IntervalTimer *Timer4 = nullptr;
    IntervalTimer *Timer5 = nullptr;
    IntervalTimer *Timer6 = nullptr;
    IntervalTimer *Timer7 = nullptr;
    IntervalTimer *Timer8 = nullptr;

    Platform *platform = nullptr;
    SerialComponent *MSComm1 = nullptr;
    MessageBox *messageBox = nullptr;
};
