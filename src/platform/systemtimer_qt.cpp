#include "platform/systemtimer.h"

#include "platform/qtintervaltimer.h"

IntervalTimer *createSystemTimer(QObject *parent)
{
    return new QtIntervalTimer(parent);
}
