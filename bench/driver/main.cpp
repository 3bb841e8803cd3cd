// alarm-host-bench-driver: the tester exactly as main() builds it (the real
// window on the real DesktopPlatform: precise interval timers, the real
// serial component, real message boxes, the single-instance lock), plus the
// few operator actions a benchmark run needs, made on the widgets from code:
// pick the poll period, open the 8-channel page, or set up and start
// linkage and press reset after each alarm has gone.
//
// It measures only what the host simulator's trace cannot show: when the
// window came up, and the processor time and peak memory of this process.
// Everything about frame timing comes from the simulator's trace.
//
// Usage (environment as for the program: ALARM_HOST_TESTER_COM1, and
// QT_QPA_PLATFORM=offscreen without a display):
//   alarm-host-bench-driver --period MS [--linkage] --seconds S
//                           [--warmup S] --report FILE
// BENCH_LAUNCH_REALTIME_US, when set, is the wall-clock time (µs since the
// epoch) at which the caller started us; start-up figures count from it.

#include "app/desktopplatform.h"
#include "app/form1.h"
#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/tabcontrol.h"
#include "serial/serialcomponent.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <sys/resource.h>

namespace {

qint64 monotonicMicros()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

qint64 realtimeMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

qint64 cpuMicros()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

// A line of /proc/self/status such as "VmHWM:   41236 kB", in kB.
qint64 statusKb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    // A proc file has no size; read it whole.
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

struct Options
{
    int period = 50;
    bool linkage = false;
    double seconds = 10;
    double warmup = 1;
    QString report;
};

bool parse(const QStringList &args, Options *o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--linkage"))
            o->linkage = true;
        else if (a == QLatin1String("--period") && hasValue)
            o->period = args.at(++i).toInt();
        else if (a == QLatin1String("--seconds") && hasValue)
            o->seconds = args.at(++i).toDouble();
        else if (a == QLatin1String("--warmup") && hasValue)
            o->warmup = args.at(++i).toDouble();
        else if (a == QLatin1String("--report") && hasValue)
            o->report = args.at(++i);
        else
            return false;
    }
    return !o->report.isEmpty();
}

// Notes the first paint of the window: the window is on screen from then.
class FirstPaint : public QObject
{
public:
    qint64 at = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (at == 0 && event->type() == QEvent::Paint)
            at = monotonicMicros();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const qint64 enteredMain = monotonicMicros();
    const qint64 enteredMainReal = realtimeMicros();
    // How long before main() the caller started us (exec, loader, statics).
    const qint64 launchReal = qgetenv("BENCH_LAUNCH_REALTIME_US").toLongLong();
    const qint64 launched = launchReal > 0 ? enteredMain - (enteredMainReal - launchReal) : enteredMain;

    // As main() does.
    QApplication app(argc, argv);
    Options options;
    if (!parse(QCoreApplication::arguments(), &options)) {
        std::fprintf(stderr, "usage: alarm-host-bench-driver --period MS [--linkage] --seconds S "
                             "[--warmup S] --report FILE\n");
        return 2;
    }
    // Combo3 offers 50, 100, ..., 900 ms.
    const int periodIndex = options.period == 50 ? 0 : options.period / 100;
    if (periodIndex < 0 || periodIndex > 9 || (periodIndex > 0 && options.period % 100 != 0)) {
        std::fprintf(stderr, "alarm-host-bench-driver: --period must be one the list offers\n");
        return 2;
    }

    DesktopPlatform platform;
    Form1 window(platform);
    platform.setWindow(&window);
    window.Form_Load();
    const qint64 probed = monotonicMicros();
    if (platform.ended()) {
        std::fprintf(stderr, "alarm-host-bench-driver: the program ended at start-up\n");
        return 1;
    }
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.show();
    const qint64 shown = monotonicMicros();
    if (platform.ended())
        return 1;

    const Form1Widgets &ui = window.ui();
    qint64 measureFrom = 0;
    qint64 cpuFrom = 0;
    int resets = 0;
    bool failed = false;

    // An operator's actions, each as its own event once the loop runs.
    QTimer::singleShot(0, &window, [&] {
        ui.Combo3->choose(periodIndex);
        if (!options.linkage) {
            ui.SSTab1->setTab(0);
            return;
        }
        // Input 2 linked to output 5, no filter time, as an operator sets
        // it up on the linkage page.
        ui.SSTab1->setTab(4);
        if (ui.Check3->value() == 0)
            ui.Check3->click();
        ui.Combo5->choose(1);
        ui.Check2[4]->click();
        ui.Command3->click();
        ui.Command1->click();
    });

    // Reset after each alarm: once an input reply shows every input quiet
    // again while the reset button is still up, press it as the operator
    // would. Queued, so it is an event of its own after the reply handler.
    if (options.linkage) {
        QObject::connect(
            &platform.serial(), &SerialComponent::OnComm, &window,
            [&] {
                const Module1 &state = window.state();
                if (!state.linkageActive || state.inputCheckPending)
                    return;
                if (state.replyTable[0][3] != 0 || state.replyTable[0][4] != 0)
                    return;
                if (ui.Command8[0]->isHidden())
                    return;
                ++resets;
                ui.Command8[0]->click();
            },
            Qt::QueuedConnection);
    }

    QTimer::singleShot(int(options.warmup * 1000), &window, [&] {
        if (options.linkage && ui.SSTab1->tab() != 0) {
            std::fprintf(stderr, "alarm-host-bench-driver: linkage did not start\n");
            failed = true;
        }
        measureFrom = monotonicMicros();
        cpuFrom = cpuMicros();
    });
    QTimer::singleShot(int((options.warmup + options.seconds) * 1000), &window,
                       [&] { QCoreApplication::exit(0); });
    // A message box means the run went wrong; it would wait for an
    // operator, so the watchdog ends the loop from inside it too.
    QTimer::singleShot(int((options.warmup + options.seconds) * 1000) + 2000, &window, [&] {
        failed = true;
        QCoreApplication::exit(1);
    });

    const int status = app.exec();
    const qint64 measureTo = monotonicMicros();
    const qint64 cpuTo = cpuMicros();
    if (QApplication::activeModalWidget() || status != 0)
        failed = true;

    QFile out(options.report);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "alarm-host-bench-driver: cannot write %s\n", qPrintable(options.report));
        return 1;
    }
    const auto line = [&out](const char *key, qint64 value) {
        out.write(QByteArray(key) + ' ' + QByteArray::number(value) + '\n');
    };
    line("launched_us", launched);
    line("main_us", enteredMain);
    line("probed_us", probed);
    line("shown_us", shown);
    line("painted_us", firstPaint.at);
    line("measure_from_us", measureFrom);
    line("measure_to_us", measureTo);
    line("cpu_us", cpuTo - cpuFrom);
    line("vmhwm_kb", statusKb("VmHWM"));
    line("vmrss_kb", statusKb("VmRSS"));
    line("resets", resets);
    line("failed", failed ? 1 : 0);
    out.close();

    // Leaves as the program does when its window closes.
    window.close();
    return failed ? 1 : 0;
}
