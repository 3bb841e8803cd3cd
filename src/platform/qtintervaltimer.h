#pragma once

#include "platform/intervaltimer.h"

#include <QTimer>

// The interval timer on a precise QTimer: the default coarse one may be 5 %
// late, which the 20 ms steps cannot afford. Qt's timers, the precise kind
// included, wait in whole milliseconds rounded up, so each tick comes a
// fraction of a millisecond late; where the system has better, the
// platform uses that instead (systemtimer.h).
class QtIntervalTimer : public IntervalTimer
{
    Q_OBJECT

public:
    explicit QtIntervalTimer(QObject *parent = nullptr);

protected:
    void startCount() override { m_timer.start(interval()); }
    void stopCount() override { m_timer.stop(); }

private:
    QTimer m_timer;
};
