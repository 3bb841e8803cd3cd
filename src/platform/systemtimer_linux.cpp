#include "platform/systemtimer.h"

#include "platform/qtintervaltimer.h"
#include "platform/timerfdintervaltimer.h"

IntervalTimer *createSystemTimer(QObject *parent)
{
    if (IntervalTimer *timer = TimerFdIntervalTimer::create(parent))
        return timer;
    return new QtIntervalTimer(parent);
}
