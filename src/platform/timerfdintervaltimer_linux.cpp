#include "platform/timerfdintervaltimer.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <cstdint>
#include <ctime>

#include <sys/timerfd.h>
#include <unistd.h>

namespace {

qint64 nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

timespec toTimespec(qint64 ns)
{
    timespec value{};
    value.tv_sec = time_t(ns / 1000000000);
    value.tv_nsec = long(ns % 1000000000);
    return value;
}

// When the tick being handled was due; 0 outside a tick's handler.
thread_local qint64 g_tickDueNs = 0;

} // namespace

TimerFdIntervalTimer *TimerFdIntervalTimer::create(QObject *parent)
{
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    return fd >= 0 ? new TimerFdIntervalTimer(fd, parent) : nullptr;
}

TimerFdIntervalTimer::TimerFdIntervalTimer(int fd, QObject *parent)
    : IntervalTimer(parent)
    , m_fd(fd)
    , m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &TimerFdIntervalTimer::onTimerFd);
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TimerFdIntervalTimer::continueCount);
}

TimerFdIntervalTimer::~TimerFdIntervalTimer()
{
    // The notifier must be gone before its descriptor is.
    delete m_notifier;
    ::close(m_fd);
}

void TimerFdIntervalTimer::startCount()
{
    const qint64 now = nowNs();
    const bool onTime = g_tickDueNs > 0 && now - g_tickDueNs <= kMaxCatchUpNs;
    m_dueNs = (onTime ? g_tickDueNs : now) + qint64(interval()) * 1000000;
    armAt(m_dueNs);
}

// The descriptor is armed for one expiry at a time and only touched when
// that time changes: a step that stops itself in its own tick, as every
// step of the poll cycle does, costs no system call to stop. Arming (or
// disarming, at 0) also drops a tick that is due but not yet handled.
void TimerFdIntervalTimer::armAt(qint64 dueNs)
{
    if (dueNs == m_armedNs)
        return;
    itimerspec expiry{};
    expiry.it_value = toTimespec(dueNs);
    ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &expiry, nullptr);
    m_armedNs = dueNs;
}

void TimerFdIntervalTimer::onTimerFd()
{
    // Nothing to read when the timer was stopped or re-armed after the
    // descriptor was seen ready: that tick no longer counts.
    uint64_t expiries = 0;
    if (::read(m_fd, &expiries, sizeof expiries) != sizeof expiries || expiries == 0)
        return;
    m_armedNs = 0; // a one-shot expiry disarms the descriptor
    // Ticks missed while a handler ran long make one Timer, as with a QTimer.
    const qint64 periodNs = qint64(interval()) * 1000000;
    qint64 due = m_dueNs;
    if (periodNs > 0)
        due += (nowNs() - due) / periodNs * periodNs;
    // The next tick counts from this one unless the handler stops or
    // restarts the timer; continueCount arms it once the handler is done,
    // or as soon as a nested event loop (a message box) waits.
    m_dueNs = due + periodNs;
    // Other ticks run in such a nested loop; each restores the one it
    // interrupted.
    const qint64 outer = g_tickDueNs;
    g_tickDueNs = due;
    emit Timer();
    g_tickDueNs = outer;
    continueCount();
}

void TimerFdIntervalTimer::continueCount()
{
    if (isCounting() && m_armedNs == 0)
        armAt(m_dueNs);
}
