#pragma once

#include "intervaltimer.h"

#include <QTimer>

class QSocketNotifier;

// The interval timer of the real program.
//
// Qt's timers, the precise kind included, wait in whole milliseconds
// rounded up, so each tick comes a fraction of a millisecond late; and as
// every step of the poll cycle starts the next step's timer from its own
// tick, those fractions add up over the cycle. On Linux the count runs on a
// timerfd instead, which wakes the event loop when it is due. Elsewhere, or
// when no timerfd can be had, a precise QTimer (the default coarse one may
// be 5 % late, which the 20 ms steps cannot afford).
class QtIntervalTimer : public IntervalTimer
{
    Q_OBJECT

public:
    explicit QtIntervalTimer(QObject *parent = nullptr);
    ~QtIntervalTimer() override;

protected:
    void startCount() override;
    void stopCount() override;

private:
    void onTimerFd();

    QTimer m_timer;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};
