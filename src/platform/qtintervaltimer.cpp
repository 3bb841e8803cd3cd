#include "qtintervaltimer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#endif

QtIntervalTimer::QtIntervalTimer(QObject *parent)
    : IntervalTimer(parent)
{
#ifdef Q_OS_LINUX
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &QtIntervalTimer::onTimerFd);
        return;
    }
#endif
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &IntervalTimer::Timer);
}

QtIntervalTimer::~QtIntervalTimer()
{
    // The notifier must be gone before its descriptor is.
    delete m_notifier;
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void QtIntervalTimer::startCount()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        // Every interval from now; re-arming also drops a tick that is due
        // but not yet handled.
        itimerspec period {};
        period.it_value.tv_sec = interval() / 1000;
        period.it_value.tv_nsec = long(interval() % 1000) * 1000000L;
        period.it_interval = period.it_value;
        ::timerfd_settime(m_fd, 0, &period, nullptr);
        return;
    }
#endif
    m_timer.start(interval());
}

void QtIntervalTimer::stopCount()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec disarm {};
        ::timerfd_settime(m_fd, 0, &disarm, nullptr);
        return;
    }
#endif
    m_timer.stop();
}

void QtIntervalTimer::onTimerFd()
{
#ifdef Q_OS_LINUX
    // Nothing to read when the timer was stopped or re-armed after the
    // descriptor was seen ready: that tick no longer counts. Ticks missed
    // while a handler ran long make one Timer, as with a QTimer.
    uint64_t ticks = 0;
    if (::read(m_fd, &ticks, sizeof ticks) != sizeof ticks || ticks == 0)
        return;
    emit Timer();
#endif
}
