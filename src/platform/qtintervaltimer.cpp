#include "platform/qtintervaltimer.h"

QtIntervalTimer::QtIntervalTimer(QObject *parent)
    : IntervalTimer(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::Timer);
}
