#pragma once

#include "platform/intervaltimer.h"

#include <QTimer>

class QSocketNotifier;

// The interval timer of the real program.
//
// Qt's timers, the precise kind included, wait in whole milliseconds
// rounded up, so each tick comes a fraction of a millisecond late. On Linux
// (unless built with ALARM_PORTABLE) the count runs on a timerfd instead,
// which wakes the event loop when it is due. Elsewhere, or when no timerfd
// can be had, a precise QTimer (the default coarse one may be 5 % late,
// which the 20 ms steps cannot afford).
//
// Each step of the poll cycle starts the next step's timer from its own
// tick, so even the wake-up delay of a timerfd tick (a few tenths of a
// millisecond) would add up over the cycle. A timer started while a tick is
// handled therefore counts from the moment that tick was due, as it does on
// the virtual clock, as long as the tick came no more than kMaxCatchUpNs
// late; a later tick (a stalled machine) counts from now, so a stall is
// never made up by cutting the following steps short.
class QtIntervalTimer : public IntervalTimer
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxCatchUpNs = 1000000;

    explicit QtIntervalTimer(QObject *parent = nullptr);
    ~QtIntervalTimer() override;

protected:
    void startCount() override;
    void stopCount() override;

private:
    void armAt(qint64 dueNs);
    void onTimerFd();
    void continueCount();

    QTimer m_timer;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    // CLOCK_MONOTONIC nanoseconds of the next tick, when counting on the fd.
    qint64 m_dueNs = 0;
    // The expiry the descriptor is armed with; 0 when disarmed.
    qint64 m_armedNs = 0;
};
