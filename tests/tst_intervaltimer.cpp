#include "platform/systemtimer.h"
#include "support/virtualclock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// Two timers on one virtual clock whose ticks are traced as "a 30".
struct Timers
{
    VirtualClock clock;
    VirtualTimer *a = clock.createTimer(&clock);
    VirtualTimer *b = clock.createTimer(&clock);
    QStringList trace;

    // Switched off at each tick, as the poll steps do.
    void oneShot(VirtualTimer *timer)
    {
        QObject::connect(timer, &IntervalTimer::Timer, timer, [timer] { timer->setEnabled(false); });
    }
    // Arms `next` for `interval` at each tick of `timer`.
    void chain(VirtualTimer *timer, VirtualTimer *next, int interval)
    {
        QObject::connect(timer, &IntervalTimer::Timer, timer, [next, interval] {
            next->setInterval(interval);
            next->setEnabled(true);
        });
    }
    void note(const QString &what) { trace.append(QStringLiteral("%1 %2").arg(what).arg(clock.now())); }
};

using Steps = std::function<void(Timers &)>;

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestIntervalTimer : public QObject
{
    Q_OBJECT

private slots:
    void virtualTimer_data();
    void virtualTimer();
    void realTimerNeverTicksEarly();
    void realTimerLeftEnabledTicksOnInsideANestedLoop();
};

void TestIntervalTimer::virtualTimer_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("trace");
    QTest::newRow("idle until given an interval") << Steps([](Timers &t) {
        t.trace.append(QStringLiteral("enabled %1, interval %2").arg(t.a->isEnabled()).arg(t.a->interval()));
        t.clock.advance(100000);
        t.a->setInterval(-5);
        t.clock.advance(100000);
    }) << QStringList{"enabled 1, interval 0"};
    // 32-bit intervals: ten minutes fit.
    QTest::newRow("ticks every interval while enabled") << Steps([](Timers &t) {
        t.a->setInterval(30);
        t.clock.advance(100);
        t.a->setEnabled(false);
        t.clock.advance(100);
        t.a->setInterval(600000);
        t.a->setEnabled(true);
        t.clock.advance(600000);
    }) << QStringList{"a 30", "a 60", "a 90", "a 600200"};
    QTest::newRow("rearming keeps the running count") << Steps([](Timers &t) {
        t.oneShot(t.a);
        t.a->setInterval(1200);
        t.clock.advance(500);
        t.a->setInterval(1200);
        t.a->setEnabled(true);
        t.clock.advance(1000);
    }) << QStringList{"a 1200"};
    QTest::newRow("new interval restarts the count") << Steps([](Timers &t) {
        t.oneShot(t.a);
        t.a->setInterval(100);
        t.clock.advance(80);
        t.a->setInterval(50);
        t.clock.advance(200);
    }) << QStringList{"a 130"};
    QTest::newRow("disable then enable restarts the count") << Steps([](Timers &t) {
        t.oneShot(t.a);
        t.a->setInterval(100);
        t.clock.advance(70);
        t.a->setEnabled(false);
        t.a->setEnabled(true);
        t.clock.advance(200);
    }) << QStringList{"a 170"};
    // The poll cycle's shape: each tick disables itself and arms the next.
    QTest::newRow("one-shot chain nests inside ticks") << Steps([](Timers &t) {
        t.oneShot(t.a);
        t.oneShot(t.b);
        t.chain(t.a, t.b, 20);
        t.chain(t.b, t.a, 50);
        t.a->setInterval(50);
        t.clock.advance(145);
    }) << QStringList{"a 50", "b 70", "a 120", "b 140"};
    QTest::newRow("ties fire in arming order") << Steps([](Timers &t) {
        t.oneShot(t.a);
        t.oneShot(t.b);
        t.b->setInterval(10);
        t.clock.advance(5);
        t.a->setInterval(5);
        t.clock.advance(10);
    }) << QStringList{"b 10", "a 10"};
    // A modal box opened inside a tick lets other timers run meanwhile.
    QTest::newRow("nested advance from inside a tick") << Steps([](Timers &t) {
        t.oneShot(t.a);
        QObject::connect(t.a, &IntervalTimer::Timer, t.a, [&t] {
            t.clock.advance(100);
            t.note(QStringLiteral("a done"));
        });
        t.a->setInterval(10);
        t.b->setInterval(40);
        t.clock.advance(150);
        t.note(QStringLiteral("now"));
    }) << QStringList{"a 10", "b 40", "b 80", "a done 110", "b 120", "now 150"};
}

void TestIntervalTimer::virtualTimer()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, trace);
    Timers t;
    connect(t.a, &IntervalTimer::Timer, this, [&t] { t.note(QStringLiteral("a")); });
    connect(t.b, &IntervalTimer::Timer, this, [&t] { t.note(QStringLiteral("b")); });
    steps(t);
    QCOMPARE(t.trace, trace);
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
