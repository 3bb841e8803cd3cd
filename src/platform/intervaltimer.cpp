#include "platform/intervaltimer.h"

void IntervalTimer::setInterval(int ms)
{
    if (ms == m_interval)
        return;
    m_interval = ms;
    if (isCounting())
        startCount();
    else
        stopCount();
}

void IntervalTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (isCounting())
        startCount();
    else
        stopCount();
}
