#include "qtintervaltimer.h"

#include <QSocketNotifier>

#ifdef ALARM_LINUX_APIS
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#endif

namespace {

#ifdef ALARM_LINUX_APIS
qint64 nowNs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

timespec toTimespec(qint64 ns)
{
    timespec value {};
    value.tv_sec = time_t(ns / 1000000000);
    value.tv_nsec = long(ns % 1000000000);
    return value;
}

// When the tick being handled was due; 0 outside a tick's handler.
thread_local qint64 g_tickDueNs = 0;
#endif

} // namespace

QtIntervalTimer::QtIntervalTimer(QObject *parent)
    : IntervalTimer(parent)
{
#ifdef ALARM_LINUX_APIS
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
#ifdef ALARM_LINUX_APIS
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

void QtIntervalTimer::startCount()
{
#ifdef ALARM_LINUX_APIS
    if (m_fd >= 0) {
        const qint64 now = nowNs();
        const bool onTime = g_tickDueNs > 0 && now - g_tickDueNs <= kMaxCatchUpNs;
        const qint64 periodNs = qint64(interval()) * 1000000;
        m_dueNs = (onTime ? g_tickDueNs : now) + periodNs;
        // Re-arming also drops a tick that is due but not yet handled.
        itimerspec period {};
        period.it_value = toTimespec(m_dueNs);
        period.it_interval = toTimespec(periodNs);
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &period, nullptr);
        return;
    }
#endif
    m_timer.start(interval());
}

void QtIntervalTimer::stopCount()
{
#ifdef ALARM_LINUX_APIS
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
#ifdef ALARM_LINUX_APIS
    // Nothing to read when the timer was stopped or re-armed after the
    // descriptor was seen ready: that tick no longer counts. Ticks missed
    // while a handler ran long make one Timer, as with a QTimer.
    uint64_t ticks = 0;
    if (::read(m_fd, &ticks, sizeof ticks) != sizeof ticks || ticks == 0)
        return;
    const qint64 periodNs = qint64(interval()) * 1000000;
    const qint64 due = m_dueNs + qint64(ticks - 1) * periodNs;
    m_dueNs = due + periodNs;
    // A handler may run a nested event loop (a message box) and so other
    // ticks; each restores the one it interrupted.
    const qint64 outer = g_tickDueNs;
    g_tickDueNs = due;
    emit Timer();
    g_tickDueNs = outer;
#endif
}
