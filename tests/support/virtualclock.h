#pragma once

#include "platform/intervaltimer.h"

#include <QList>
#include <QPointer>

#include <cstdint>

class VirtualTimer;

// Time for tests: nothing happens until advance() is called, which fires
// the due timers in time order (ties in arming order), each tick at its
// exact virtual time. Handlers may arm timers or advance the clock again
// from inside a tick, as they would nest in real time.
class VirtualClock : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    int64_t now() const { return m_now; }
    void advance(int64_t ms);
    void advanceTo(int64_t time);
    VirtualTimer *createTimer(QObject *parent);

private:
    friend class VirtualTimer;
    VirtualTimer *nextDue(int64_t until) const;

    int64_t m_now = 0;
    uint64_t m_nextSequence = 0;
    QList<QPointer<VirtualTimer>> m_timers;
};

class VirtualTimer : public IntervalTimer
{
    Q_OBJECT

public:
    VirtualTimer(VirtualClock &clock, QObject *parent);

protected:
    void startCount() override;
    void stopCount() override;

private:
    friend class VirtualClock;
    void fire();

    VirtualClock &m_clock;
    bool m_armed = false;
    int64_t m_due = 0;
    uint64_t m_sequence = 0;
};
