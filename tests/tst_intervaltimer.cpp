#include "platform/systemtimer.h"
#include "support/virtualclock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A timer that switches itself off at each tick, as the poll steps do;
// times collects the virtual times of its ticks.
void recordOneShot(VirtualClock &clock, VirtualTimer *timer, QList<int64_t> &times)
{
    QObject::connect(timer, &IntervalTimer::Timer, timer, [&clock, timer, &times] {
        times.append(clock.now());
        timer->setEnabled(false);
    });
}

} // namespace

class TestIntervalTimer : public QObject
{
    Q_OBJECT

private slots:
    void idleUntilGivenAnInterval();
    void ticksEveryIntervalWhileEnabled();
    void rearmingKeepsTheRunningCount();
    void newIntervalRestartsTheCount();
    void disableThenEnableRestartsTheCount();
    void oneShotChainNestsInsideTicks();
    void tiesFireInArmingOrder();
    void nestedAdvanceFromInsideATick();
    void realTimerNeverTicksEarly();
    void realTimerLeftEnabledTicksOnInsideANestedLoop();
};

void TestIntervalTimer::idleUntilGivenAnInterval()
{
    VirtualClock clock;
    VirtualTimer *timer = clock.createTimer(&clock);
    QSignalSpy ticks(timer, &IntervalTimer::Timer);
    QVERIFY(timer->isEnabled());
    QCOMPARE(timer->interval(), 0);
    clock.advance(100000);
    QCOMPARE(ticks.count(), 0);
    timer->setInterval(-5);
    clock.advance(100000);
    QCOMPARE(ticks.count(), 0);
}

void TestIntervalTimer::ticksEveryIntervalWhileEnabled()
{
    VirtualClock clock;
    VirtualTimer *timer = clock.createTimer(&clock);
    QList<int64_t> times;
    connect(timer, &IntervalTimer::Timer, this, [&] { times.append(clock.now()); });
    timer->setInterval(30);
    clock.advance(100);
    QCOMPARE(times, (QList<int64_t>{30, 60, 90}));
    timer->setEnabled(false);
    clock.advance(100);
    QCOMPARE(times.size(), 3);
    // 32-bit intervals: ten minutes fit.
    timer->setInterval(600000);
    timer->setEnabled(true);
    clock.advance(600000);
    QCOMPARE(times.last(), int64_t(200 + 600000));
}

void TestIntervalTimer::rearmingKeepsTheRunningCount()
{
    VirtualClock clock;
    VirtualTimer *timer = clock.createTimer(&clock);
    QList<int64_t> times;
    recordOneShot(clock, timer, times);
    timer->setInterval(1200);
    clock.advance(500);
    timer->setInterval(1200); // same interval: no restart
    timer->setEnabled(true);  // already enabled: no restart
    clock.advance(1000);
    QCOMPARE(times, (QList<int64_t>{1200}));
}

void TestIntervalTimer::newIntervalRestartsTheCount()
{
    VirtualClock clock;
    VirtualTimer *timer = clock.createTimer(&clock);
    QList<int64_t> times;
    recordOneShot(clock, timer, times);
    timer->setInterval(100);
    clock.advance(80);
    timer->setInterval(50);
    clock.advance(200);
    QCOMPARE(times, (QList<int64_t>{130}));
}

void TestIntervalTimer::disableThenEnableRestartsTheCount()
{
    VirtualClock clock;
    VirtualTimer *timer = clock.createTimer(&clock);
    QList<int64_t> times;
    recordOneShot(clock, timer, times);
    timer->setInterval(100);
    clock.advance(70);
    timer->setEnabled(false);
    timer->setEnabled(true);
    clock.advance(200);
    QCOMPARE(times, (QList<int64_t>{170}));
}

// The poll cycle's shape: each tick disables itself and arms the next.
void TestIntervalTimer::oneShotChainNestsInsideTicks()
{
    VirtualClock clock;
    VirtualTimer *first = clock.createTimer(&clock);
    VirtualTimer *second = clock.createTimer(&clock);
    QStringList trace;
    connect(first, &IntervalTimer::Timer, this, [&] {
        trace.append(QStringLiteral("first %1").arg(clock.now()));
        first->setEnabled(false);
        second->setInterval(20);
        second->setEnabled(true);
    });
    connect(second, &IntervalTimer::Timer, this, [&] {
        trace.append(QStringLiteral("second %1").arg(clock.now()));
        second->setEnabled(false);
        first->setInterval(50);
        first->setEnabled(true);
    });
    first->setInterval(50);
    clock.advance(145);
    QCOMPARE(trace, (QStringList{"first 50", "second 70", "first 120", "second 140"}));
}

void TestIntervalTimer::tiesFireInArmingOrder()
{
    VirtualClock clock;
    VirtualTimer *a = clock.createTimer(&clock);
    VirtualTimer *b = clock.createTimer(&clock);
    QStringList order;
    connect(a, &IntervalTimer::Timer, this, [&] {
        order.append("a");
        a->setEnabled(false);
    });
    connect(b, &IntervalTimer::Timer, this, [&] {
        order.append("b");
        b->setEnabled(false);
    });
    b->setInterval(10);
    clock.advance(5);
    a->setInterval(5);
    clock.advance(10);
    QCOMPARE(order, (QStringList{"b", "a"}));
}

// A modal box opened inside a tick lets other timers run meanwhile.
void TestIntervalTimer::nestedAdvanceFromInsideATick()
{
    VirtualClock clock;
    VirtualTimer *outer = clock.createTimer(&clock);
    VirtualTimer *other = clock.createTimer(&clock);
    QStringList trace;
    connect(outer, &IntervalTimer::Timer, this, [&] {
        outer->setEnabled(false);
        trace.append(QStringLiteral("outer %1").arg(clock.now()));
        clock.advance(100);
        trace.append(QStringLiteral("outer done %1").arg(clock.now()));
    });
    connect(other, &IntervalTimer::Timer, this,
            [&] { trace.append(QStringLiteral("other %1").arg(clock.now())); });
    outer->setInterval(10);
    other->setInterval(40);
    clock.advance(150);
    QCOMPARE(trace, (QStringList{"outer 10", "other 40", "other 80", "outer done 110", "other 120"}));
    QCOMPARE(clock.now(), int64_t(150));
}

void TestIntervalTimer::realTimerNeverTicksEarly()
{
    const std::unique_ptr<IntervalTimer> timer(createSystemTimer(nullptr));
    QElapsedTimer elapsed;
    qint64 firedAt = -1;
    connect(timer.get(), &IntervalTimer::Timer, this, [&] {
        firedAt = elapsed.nsecsElapsed();
        timer->setEnabled(false);
    });
    elapsed.start();
    timer->setInterval(20);
    QTRY_VERIFY_WITH_TIMEOUT(firedAt >= 0, 5000);
    QVERIFY2(firedAt >= 19'000'000, qPrintable(QString::number(firedAt)));
    QVERIFY(!timer->isCounting());
}

// Left enabled, the real timer ticks every interval, also inside a nested
// event loop (a message box) opened by its own handler, as on the virtual
// clock.
void TestIntervalTimer::realTimerLeftEnabledTicksOnInsideANestedLoop()
{
#ifndef ALARM_LINUX_APIS
    QSKIP("QTimer, the portable timer, does not fire again while its own timeout is handled; "
          "no handler leaves its own timer running while a box is open");
#endif
    const std::unique_ptr<IntervalTimer> timer(createSystemTimer(nullptr));
    QEventLoop nested;
    QTimer::singleShot(5000, &nested, &QEventLoop::quit);
    QElapsedTimer elapsed;
    QList<qint64> ticks;
    int ticksInside = 0;
    connect(timer.get(), &IntervalTimer::Timer, this, [&] {
        ticks.append(elapsed.nsecsElapsed());
        ticksInside += nested.isRunning() ? 1 : 0;
        if (ticks.size() == 1)
            nested.exec();
        if (ticks.size() == 3) {
            timer->setEnabled(false);
            nested.quit();
        }
    });
    elapsed.start();
    timer->setInterval(10);
    QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 3, 5000);
    QCOMPARE(ticksInside, 2);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(ticks[i] >= (i + 1) * 9'500'000, qPrintable(QString::number(ticks[i])));
}

QTEST_GUILESS_MAIN(TestIntervalTimer)
#include "tst_intervaltimer.moc"
