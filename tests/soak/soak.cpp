// alarm-soak: the real window, its real timers and port, against the host
// simulator for a given time, with linkage running and the simulator's
// inputs changing at random. At the end it reports
//   - resident memory growth from the end of the warm-up to the end,
//   - the frames the simulator received, and any that the tester should
//     never send,
//   - departures from the poll schedule: frames out of order, and input
//     queries further apart than the period + 80 ms with no linkage output
//     between them,
//   - message boxes (none are expected).
// Exit status 0 when nothing went wrong, 1 when something did, 2 when the
// run could not be set up. A crash shows as death by a signal.
//
// Gaps are reported, not judged: on a loaded machine timers run late.

#include "support/e2eharness.h"

#include "platform/checkbox.h"
#include "platform/combobox.h"
#include "platform/commandbutton.h"
#include "platform/tabcontrol.h"
#include "platform/textbox.h"
#include "platform/updown.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif

namespace {

struct Options
{
    int seconds = 60;
    int warmup = -1;
    int period = 50;
    quint32 seed = 1;
    qint64 maxGrowthKb = 1024;
};

// Same clock as the simulator's trace.
qint64 nowMicros()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // A /proc file has no size, so it is read whole rather than by lines.
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool parseOptions(const QStringList &arguments, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs the tester against the simulator with linkage on."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("seconds"), QStringLiteral("Length of the run (default 60)."), QStringLiteral("n")},
        {QStringLiteral("warmup"),
         QStringLiteral("Seconds before the memory baseline (default a fifth, at most 30)."),
         QStringLiteral("n")},
        {QStringLiteral("period"),
         QStringLiteral("Poll period from the tool's list: 50, 100, ... 900 (default 50)."),
         QStringLiteral("ms")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of the linkage table and the input changes (default 1)."), QStringLiteral("n")},
        {QStringLiteral("max-growth"), QStringLiteral("Resident memory growth allowed (default 1024)."),
         QStringLiteral("kB")},
    });
    parser.process(arguments);
    const auto number = [&parser](const QString &name, qint64 fallback) {
        if (!parser.isSet(name))
            return fallback;
        bool ok = false;
        const qint64 value = parser.value(name).toLongLong(&ok);
        return ok && value >= 0 ? value : qint64(-1);
    };
    const qint64 seconds = number(QStringLiteral("seconds"), options->seconds);
    const qint64 period = number(QStringLiteral("period"), options->period);
    const qint64 seed = number(QStringLiteral("seed"), options->seed);
    const qint64 maxGrowth = number(QStringLiteral("max-growth"), options->maxGrowthKb);
    const qint64 warmup = number(QStringLiteral("warmup"), std::min<qint64>(30, seconds / 5));
    if (seconds <= 0 || seconds > 7 * 24 * 3600 || warmup < 0 || warmup >= seconds || period <= 0 || seed < 0
        || seed > 0xFFFFFFFFLL || maxGrowth < 0) {
        std::fprintf(stderr, "alarm-soak: bad option value (see --help)\n");
        return false;
    }
    options->seconds = int(seconds);
    options->warmup = int(warmup);
    options->period = int(period);
    options->seed = quint32(seed);
    options->maxGrowthKb = maxGrowth;
    return true;
}

QString code(const QString &frame)
{
    return frame.mid(6, 2);
}

struct Analysis
{
    int frames = 0;
    int inputQueries = 0;
    int outputQueries = 0;
    int outputCommands = 0;
    int replies = 0;
    QStringList unexpected;
    QStringList outOfOrder;
    QList<qint64> gapsMs; // input query to input query, no output between
    QStringList lateGaps; // of those, the ones beyond the limit
    qint64 longestAroundOutputMs = 0;
};

// The poll cycle only ever sends an output query right after an input
// query, and never two input queries in a row: one timer hands over to the
// next, and a linkage output stops them and restarts the first.
Analysis analyse(const QList<SimulatorProcess::TraceLine> &trace, qint64 from, qint64 to, int period)
{
    Analysis a;
    const qint64 limitMs = period + 80;
    QString previous;
    qint64 lastQuery = -1;
    bool outputSince = false;
    for (const SimulatorProcess::TraceLine &line : trace) {
        if (line.what == QLatin1String("tx"))
            ++a.replies;
        if (!line.what.startsWith(QLatin1String("rx")))
            continue;
        ++a.frames;
        if (line.what != QLatin1String("rx") || !SimulatorProcess::isTesterFrame(line.bytes)) {
            a.unexpected.append(QStringLiteral("%1 %2 %3").arg(line.micros).arg(line.what, line.bytes));
            continue;
        }
        const QString c = code(line.bytes);
        if ((c == QLatin1String("3B") && previous != QLatin1String("3F"))
            || (c == QLatin1String("3F") && previous == QLatin1String("3F")))
            a.outOfOrder.append(QStringLiteral("%1: %2 after %3").arg(line.micros).arg(c, previous));
        previous = c;

        if (c == QLatin1String("3D")) {
            ++a.outputCommands;
            outputSince = true;
            continue;
        }
        if (c == QLatin1String("3B")) {
            ++a.outputQueries;
            continue;
        }
        ++a.inputQueries;
        if (line.micros >= from && line.micros <= to && lastQuery >= 0 && lastQuery >= from) {
            const qint64 gapMs = (line.micros - lastQuery) / 1000;
            if (outputSince) {
                a.longestAroundOutputMs = std::max(a.longestAroundOutputMs, gapMs);
            } else {
                a.gapsMs.append(gapMs);
                if (gapMs > limitMs)
                    a.lateGaps.append(QStringLiteral("%1 ms at %2 s")
                                          .arg(gapMs)
                                          .arg(double(line.micros - from) / 1e6, 0, 'f', 1));
            }
        }
        lastQuery = line.micros;
        outputSince = false;
    }
    return a;
}

qint64 percentile(QList<qint64> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, qsizetype(p * double(values.size())))];
}

int run(const Options &options)
{
    SimulatorProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "alarm-soak: the simulator did not start\n");
        return 2;
    }
    E2EPlatform platform;
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    // Shown, so every lamp change is painted too.
    form.show();
    form.Form_Load();
    const int periodIndex = ui.Combo3->findText(QString::number(options.period));
    if (periodIndex < 0) {
        std::fprintf(stderr, "alarm-soak: %d ms is not in the tool's period list\n", options.period);
        return 2;
    }
    ui.Combo3->choose(periodIndex);

    // A random table: each input drives its own output and, often, one more.
    QRandomGenerator random(options.seed);
    ui.SSTab1->setTab(4);
    ui.Check3->click();
    for (int input = 0; input < 8; ++input) {
        ui.Combo5->choose(input);
        ui.Check2[input]->click();
        const int extra = int(random.bounded(8));
        if (extra != input && random.bounded(2) == 0)
            ui.Check2[extra]->click();
        ui.Command3->click();
    }
    // Filter 0.2 s, automatic reset after 1 s: both linkage timers run.
    ui.UpDown1->stepUp();
    ui.UpDown1->stepUp();
    ui.Command1->click();
    if (!waitUntil([&] { return ui.SSTab1->tab() == 0 && ui.Command2[0]->isVisibleTo(&form); }, 10000)) {
        std::fprintf(stderr, "alarm-soak: linkage did not start: %s\n",
                     qPrintable(platform.boxes.texts().join(u'|')));
        return 2;
    }
    const qint64 started = nowMicros();

    // Inputs change at random, 0.1 to 1.5 s apart.
    quint8 alarms = 0;
    int changes = 0;
    QTimer stimulus;
    stimulus.setSingleShot(true);
    QObject::connect(&stimulus, &QTimer::timeout, [&] {
        const int input = int(random.bounded(8));
        alarms ^= quint8(1u << input);
        const bool on = alarms & (1u << input);
        sim.command(QByteArray(on ? "alarm " : "clear ") + QByteArray::number(input + 1));
        ++changes;
        stimulus.start(100 + int(random.bounded(1400)));
    });
    stimulus.start(500);

    QList<qint64> samples;
    samples.reserve(options.seconds / 10 + 4);
    qint64 baseline = -1;
    QTimer sampler;
    int elapsed = 0;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        ++elapsed;
        if (elapsed == options.warmup)
            baseline = residentKb();
        if (elapsed >= options.warmup && elapsed % 10 == 0)
            samples.append(residentKb());
        if (elapsed % 60 == 0)
            std::fprintf(stderr, "alarm-soak: %d of %d s, resident %lld kB\n", elapsed, options.seconds,
                         residentKb());
    });
    sampler.start(1000);
    if (options.warmup == 0)
        baseline = residentKb();
    waitMs(options.seconds * 1000);
    sampler.stop();
    stimulus.stop();
    const qint64 final = residentKb();
    const qint64 stopped = nowMicros();
    const bool simAlive = sim.running();

    // Still answering: cancelling switches everything off at the host and
    // lets the port go.
    ui.Command2[0]->click();
    const bool cancelled = waitUntil(
        [&] {
            const QStringList frames = sim.received();
            return !platform.port.portOpen() && !frames.isEmpty()
                   && frames.last() == QLatin1String("E0 00 3D 00 00 1D");
        },
        5000);

    const Analysis a = analyse(sim.trace(), started, stopped, options.period);
    const QStringList outputs = sim.output().split(u'\n', Qt::SkipEmptyParts);
    const qint64 growth = final - baseline;
    qint64 peak = final;
    for (const qint64 sample : samples)
        peak = std::max(peak, sample);

#ifdef SOAK_ASAN
    const bool judgeMemory = false; // the sanitizer's quarantine grows by design
#else
    const bool judgeMemory = true;
#endif
    const bool memoryOk = !judgeMemory || (baseline > 0 && growth < options.maxGrowthKb);

    std::printf("soak: %d s with linkage on (warm-up %d s), period %d ms, seed %u\n", options.seconds,
                options.warmup, options.period, options.seed);
    std::printf("resident: %lld kB after warm-up, %lld kB at end, peak %lld kB, growth %lld kB%s\n", baseline,
                final, peak, growth, judgeMemory ? "" : " (not judged under the address sanitizer)");
    std::printf("frames: %d (input queries %d, output queries %d, output commands %d), "
                "replies %d, unexpected %lld\n",
                a.frames, a.inputQueries, a.outputQueries, a.outputCommands, a.replies,
                qlonglong(a.unexpected.size()));
    std::printf("input changes: %d, output changes at the host: %lld\n", changes, qlonglong(outputs.size()));
    std::printf("order departures: %lld\n", qlonglong(a.outOfOrder.size()));
    std::printf("input query gaps without linkage output: median %lld ms, 99%% %lld ms, max %lld ms; "
                "%lld over %d ms\n",
                percentile(a.gapsMs, 0.5), percentile(a.gapsMs, 0.99), percentile(a.gapsMs, 1.0),
                qlonglong(a.lateGaps.size()), options.period + 80);
    std::printf("longest input query gap around a linkage output: %lld ms\n", a.longestAroundOutputMs);
    std::printf("message boxes: %lld\n", qlonglong(platform.boxes.shown().size()));
    for (const QString &line : a.unexpected.mid(0, 10))
        std::printf("  unexpected: %s\n", qPrintable(line));
    for (const QString &line : a.outOfOrder.mid(0, 10))
        std::printf("  out of order: %s\n", qPrintable(line));
    for (const QString &line : a.lateGaps.mid(0, 10))
        std::printf("  late: %s\n", qPrintable(line));
    for (const QString &text : platform.boxes.texts())
        std::printf("  box: %s\n", qPrintable(text));
    if (!simAlive)
        std::printf("the simulator exited during the run\n");
    if (!cancelled)
        std::printf("cancelling linkage did not switch the outputs off and free the port\n");
    // Without output changes the run did not exercise linkage at all.
    if (outputs.isEmpty())
        std::printf("linkage never switched an output\n");

    const bool passed = memoryOk && a.unexpected.isEmpty() && a.outOfOrder.isEmpty()
                        && platform.boxes.shown().isEmpty() && simAlive && cancelled && !outputs.isEmpty();
    std::printf("result: %s\n", passed ? "PASS" : "FAIL");
    std::fflush(stdout);
    return passed ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Options options;
    if (!parseOptions(app.arguments(), &options))
        return 2;
    return run(options);
}
