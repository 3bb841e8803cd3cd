#pragma once

#include "platform/intervaltimer.h"

class QSocketNotifier;

// The interval timer on a Linux timerfd, which wakes the event loop when it
// is due rather than a whole millisecond rounded up later.
//
// Each step of the poll cycle starts the next step's timer from its own
// tick, so even the wake-up delay of a timerfd tick (a few tenths of a
// millisecond) would add up over the cycle. A timer started while a tick is
// handled therefore counts from the moment that tick was due, as it does on
// the virtual clock, as long as the tick came no more than kMaxCatchUpNs
// late; a later tick (a stalled machine) counts from now, so a stall is
// never made up by cutting the following steps short.
class TimerFdIntervalTimer : public IntervalTimer
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxCatchUpNs = 1000000;

    // Null when the system has no timerfd to give.
    static TimerFdIntervalTimer *create(QObject *parent);
    ~TimerFdIntervalTimer() override;

protected:
    void startCount() override;
    void stopCount() override { armAt(0); }

private:
    TimerFdIntervalTimer(int fd, QObject *parent);
    void armAt(qint64 dueNs);
    void onTimerFd();
    void continueCount();

    const int m_fd;
    QSocketNotifier *m_notifier = nullptr;
    // CLOCK_MONOTONIC nanoseconds of the next tick.
    qint64 m_dueNs = 0;
    // The expiry the descriptor is armed with; 0 when disarmed.
    qint64 m_armedNs = 0;
};
