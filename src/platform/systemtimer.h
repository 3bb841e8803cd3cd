#pragma once

class IntervalTimer;
class QObject;

// The best interval timer the system offers: a timerfd on Linux
// (systemtimer_linux.cpp) unless none can be had, a precise QTimer
// elsewhere and in the portable build (systemtimer_qt.cpp).
IntervalTimer *createSystemTimer(QObject *parent);
