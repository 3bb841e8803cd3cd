#include "support/virtualclock.h"

#include <algorithm>

void VirtualClock::advance(int64_t ms)
{
    advanceTo(m_now + ms);
}

void VirtualClock::advanceTo(int64_t time)
{
    while (VirtualTimer *timer = nextDue(time)) {
        m_now = std::max(m_now, timer->m_due);
        timer->fire();
    }
    m_now = std::max(m_now, time);
}

VirtualTimer *VirtualClock::createTimer(QObject *parent)
{
    auto *timer = new VirtualTimer(*this, parent);
    m_timers.append(timer);
    return timer;
}

VirtualTimer *VirtualClock::nextDue(int64_t until) const
{
    VirtualTimer *next = nullptr;
    for (const QPointer<VirtualTimer> &timer : m_timers) {
        if (!timer || !timer->m_armed || timer->m_due > until)
            continue;
        if (!next || timer->m_due < next->m_due
            || (timer->m_due == next->m_due && timer->m_sequence < next->m_sequence))
            next = timer;
    }
    return next;
}

VirtualTimer::VirtualTimer(VirtualClock &clock, QObject *parent)
    : IntervalTimer(parent)
    , m_clock(clock)
{
}

void VirtualTimer::startCount()
{
    m_armed = true;
    m_due = m_clock.now() + interval();
    m_sequence = m_clock.m_nextSequence++;
}

void VirtualTimer::stopCount()
{
    m_armed = false;
}

void VirtualTimer::fire()
{
    // A periodic timer counts its next interval from this tick; the handler
    // may stop or re-arm it.
    m_due += interval();
    m_sequence = m_clock.m_nextSequence++;
    emit Timer();
}
