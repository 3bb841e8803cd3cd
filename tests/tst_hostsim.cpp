// The host simulator: frame handling, faults, scenario files and the program
// itself on a pseudo-terminal.

#include "hostmodel.h"
#include "hostsimulator.h"
#include "scenario.h"
#include "simio.h"
#include "simoptions.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace hostsim;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QString describe(const std::vector<FrameReader::Item> &items)
{
    QStringList parts;
    for (const auto &item : items) {
        const char *kind = item.kind == FrameReader::Kind::Frame      ? "frame"
                           : item.kind == FrameReader::Kind::BadFrame ? "bad"
                                                                      : "garbage";
        parts << QStringLiteral("%1:%2").arg(QLatin1String(kind), hexBytes(item.bytes));
    }
    return parts.join(QLatin1String(" | "));
}

class FakeLine : public SimLine
{
    Q_OBJECT

public:
    using SimLine::SimLine;
    void write(const QByteArray &bytes) override { writes << hexBytes(bytes); }

    QStringList writes;
};

const QByteArray kInputQuery0 = hex("E0003F00001F");
const QByteArray kOutputQuery0 = hex("E0003B00001B");
QString demoScenario()
{
    return QFINDTESTDATA("../tools/sim/demo.scenario");
}

// A trace file's lines: the clock, and the rest.
QList<QPair<qint64, QString>> readTrace(const QString &path)
{
    QFile file(path);
    QList<QPair<qint64, QString>> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            lines.append({line.left(blank).toLongLong(), QString::fromUtf8(line.mid(blank + 1))});
    }
    return lines;
}

constexpr int kWaitMs = 10000;

// The simulator program, and the line it names first, opened as the tester
// opens it.
struct SimProgram
{
    bool start(const QStringList &arguments)
    {
        process.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-sim"), arguments);
        return process.waitForStarted(kWaitMs);
    }
    QString readLine()
    {
        while (!process.canReadLine() && process.waitForReadyRead(kWaitMs)) {
        }
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    bool openLine()
    {
        path = readLine();
        line.setPortName(path);
        return line.open(QIODevice::ReadWrite);
    }
    bool send(const QByteArray &frames) { return line.write(frames) == frames.size() && line.flush(); }
    QByteArray exchange(const QByteArray &frames, int replyBytes)
    {
        send(frames);
        while (line.bytesAvailable() < replyBytes && line.waitForReadyRead(kWaitMs)) {
        }
        return line.readAll();
    }
    bool endsNormally()
    {
        return process.waitForFinished(kWaitMs) && process.exitStatus() == QProcess::NormalExit;
    }

    QProcess process;
    QString path;
    QSerialPort line;
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A parser: false, with the reason in `error`, when it refuses `input`.
using Parse = std::function<bool(const QString &input, QString *error)>;

// How a row of programEnds runs the program, up to where the test lets go
// of the pseudo-terminal it made.
using Run = std::function<void(SimProgram &, const QStringList &arguments)>;

// The clock the trace is written on.
qint64 microsNow()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

} // namespace

class TestHostSim : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void modelRefusesInputsItDoesNotHave();
    void reader_data();
    void reader();
    void faults_data();
    void faults();

    void scenarioGood();
    void scheduleRepeats();
    void consoleCommands_data();
    void consoleCommands();
    void options();
    void refused_data();
    void refused();

    void programOnPty();
    void programEnds_data();
    void programEnds();
};

void TestHostSim::replies_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<QByteArray>("inputs"); // in1 in2 set beforehand
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply"); // empty: none
    QTest::addColumn<int>("outputsAfter");
    const auto row = [](const char *tag, int channels, int address, bool ack, const char *inputs,
                        const char *request, const char *reply, int outputsAfter) {
        QTest::newRow(tag) << channels << address << ack << hex(inputs) << hex(request) << hex(reply)
                           << outputsAfter;
    };
    row("8: input query", 8, 0, false, "0500", "E0003F00001F", "E0003F050024", 0);
    row("16: both input bytes", 16, 0, false, "0581", "E0003F00001F", "E0003F0581A5", 0);
    row("addr 15 query", 16, 15, false, "0000", "E00F3F00002E", "E00F3F00002E", 0);
    row("output query", 8, 0, false, "0000", "E0003B00001B", "E0003B00001B", 0);
    row("other address ignored", 8, 5, true, "0100", "E0003F00001F", "", 0);
    row("output command, no ack", 8, 5, false, "0000", "E0053D8100A3", "", 0x81);
    row("output command, ack", 8, 5, true, "0000", "E0053D8100A3", "E0053D8100A3", 0x81);
    row("outputs off, ack", 8, 0, true, "0000", "E0003D00001D", "E0003D00001D", 0);
    row("ack on 16, the sum wraps", 16, 15, true, "0000", "E00F3DFF002B", "E00F3DFF002B", 0xFF);
    row("unknown code", 8, 0, true, "0000", "E00030000010", "", 0);
}

void TestHostSim::replies()
{
    QFETCH(int, channels);
    QFETCH(int, address);
    QFETCH(bool, ack);
    QFETCH(QByteArray, inputs);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, outputsAfter);

    // The request, written out by hand, is what makeFrame builds of its
    // fields, and one off in its sum is no frame.
    QCOMPARE(makeFrame(uint8_t(request[1]), uint8_t(request[2]), uint8_t(request[3])), request);
    QVERIFY(isValidFrame(request));
    QByteArray broken = request;
    broken[5] = char(broken[5] + 1);
    QVERIFY(!isValidFrame(broken));

    HostModel model(channels, uint8_t(address), ack);
    QVERIFY(model.setInputBytes(uint8_t(inputs[0]), uint8_t(inputs[1])));
    const HostModel::Result result = model.handle(request);
    QCOMPARE(result.reply.value_or(QByteArray()), reply);
    QCOMPARE(int(model.outputs()), outputsAfter);
    QCOMPARE(result.outputsChanged, outputsAfter != 0);

    // The output query reports what the command set.
    QCOMPARE(model.handle(makeFrame(uint8_t(address), kOutputQuery, 0)).reply.value_or(QByteArray()),
             makeFrame(uint8_t(address), kOutputQuery, uint8_t(outputsAfter)));
}

void TestHostSim::modelRefusesInputsItDoesNotHave()
{
    HostModel eight(8);
    QString error;
    QVERIFY(eight.setInput(8, true));
    QVERIFY(!eight.setInput(9, true, &error));
    QVERIFY(error.contains(QLatin1String("9")));
    QVERIFY(!eight.setInputBytes(0xFF, 0x01));
    QVERIFY(!eight.setInput(0, true));
    QCOMPARE(eight.stateLine(), QStringLiteral("in1=80 in2=00 out=00"));

    HostModel sixteen(16);
    QVERIFY(sixteen.setInput(16, true));
    QVERIFY(sixteen.setInput(1, true));
    QVERIFY(sixteen.setInput(1, false));
    QCOMPARE(sixteen.stateLine(), QStringLiteral("in1=00 in2=80 out=00"));
}

void TestHostSim::reader_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("byteByByte"); // or all in one feed
    QTest::addColumn<int>("pending");     // bytes of a frame still to come
    const auto row = [](const char *tag, const char *stream, const char *expected, bool byteByByte = false,
                        int pending = 0) {
        QTest::newRow(tag) << hex(stream) << QString(expected) << byteByByte << pending;
    };
    row("clean", "E0003F00001FE0003B00001B", "frame:E0 00 3F 00 00 1F | frame:E0 00 3B 00 00 1B");
    row("garbage first", "1122E0003F00001F", "garbage:11 22 | frame:E0 00 3F 00 00 1F");
    row("frame inside bad candidate", "E0E0003F00001F", "bad:E0 E0 00 3F 00 00 | frame:E0 00 3F 00 00 1F");
    // Rescanned bytes of a rejected frame are not reported twice.
    row("bad then frame", "E0010203040533E0003B00001B",
        "bad:E0 01 02 03 04 05 | garbage:33 | frame:E0 00 3B 00 00 1B");
    row("trailing garbage", "E0003F00001F7F", "frame:E0 00 3F 00 00 1F | garbage:7F");
    // A frame is put together across feeds, and the start of the next waits.
    row("partial frames across feeds", "55E0003F00001FE000", "garbage:55 | frame:E0 00 3F 00 00 1F", true, 2);
}

void TestHostSim::reader()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, byteByByte);
    FrameReader reader;
    std::vector<FrameReader::Item> items;
    const qsizetype feed = byteByByte ? 1 : stream.size();
    for (qsizetype at = 0; at < stream.size(); at += feed) {
        for (const auto &item : reader.feed(stream.mid(at, feed)))
            items.push_back(item);
    }
    QTEST(describe(items), "expected");
    QTEST(reader.pendingBytes(), "pending");
}

void TestHostSim::faults_data()
{
    // The host has inputs 7 and 8 in alarm: the sum of its reply, DF, is one
    // short of a start byte. `writes` are the simulator's writes to the line,
    // the last `later` of them after a pause; `trace` the kinds of its trace
    // lines; `outputs` the host's outputs at the end.
    QTest::addColumn<QString>("options");
    QTest::addColumn<QByteArray>("heard");
    QTest::addColumn<QString>("writes");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<int>("later");
    QTest::addColumn<int>("outputs");
    const auto row = [](const char *tag, const char *options, const QByteArray &heard, const QString &writes,
                        const char *trace, int later = 0, int outputs = 0) {
        QTest::newRow(tag) << QString(options) << heard << writes << QString(trace) << later << outputs;
    };
    const QString reply = QStringLiteral("E0 00 3F C0 00 DF");
    row("echo", "--echo", kInputQuery0, "E0 00 3F 00 00 1F | " + reply, "tx-echo rx tx");
    row("echo of a frame for another host", "--echo", hex("55E0013F000020"), "55 E0 01 3F 00 00 20",
        "tx-echo rx-garbage rx-other");
    row("stray byte", "--stray-byte", kInputQuery0, "00 " + reply, "rx tx-stray tx");
    row("split", "--split-gap 15", kInputQuery0, "E0 00 3F | C0 00 DF", "rx tx tx-split", 1);
    // Another master's command is not for the host to obey.
    row("other master", "--other-master", kInputQuery0, "E0 00 3D 04 00 21 | " + reply,
        "rx tx-other-master tx");
    row("other master, output query", "--other-master", kOutputQuery0, "E0 00 3B 00 00 1B", "rx tx");
    row("other address", "--other-address 7", kInputQuery0, reply + " | E0 07 3F 80 00 FF",
        "rx tx tx-other-address");
    row("other framing", "--other-framing", kInputQuery0, "A0 00 3F C0 00 00", "rx tx");
    // Byte by byte, each reply whole in its turn.
    row("byte gap", "--byte-gap 1", kInputQuery0 + kOutputQuery0,
        "E0 | 00 | 3F | C0 | 00 | DF | E0 | 00 | 3B | 00 | 00 | 1B", "rx tx rx tx", 11);
    row("all at once", "--echo --stray-byte --split-gap 15 --other-address 7 --other-master", kInputQuery0,
        "E0 00 3F 00 00 1F | E0 00 3D 04 00 21 | 00 E0 00 3F | C0 00 DF | E0 07 3F 80 00 FF",
        "tx-echo rx tx-other-master tx-stray tx tx-split tx-other-address", 2);
    row("delay", "--delay 5", kInputQuery0, reply, "rx tx", 1);
    row("drop every second", "--drop-every 2", kInputQuery0.repeated(4), reply + " | " + reply,
        "rx tx rx tx-drop rx tx rx tx-drop");
    row("drop every one, among frames not to answer", "--drop-every 1",
        hex("AA") + kInputQuery0 + hex("E0013F000020E0003F000000"), "",
        "rx-garbage rx tx-drop rx-other rx-bad");
    // Garbage from a fixed seed; the wrong checksum, one over, steps over E0.
    row("garbage, bad checksum, oversize", "--garbage-rate 4 --bad-checksum --oversize 3", kInputQuery0,
        "32 8E B4 B1 | E0 00 3F C0 00 E1 00 00 00", "rx tx-garbage tx");
    // Silent, the host still obeys; the same mask again is no change.
    row("silent", "--silent --ack", kInputQuery0 + hex("E0003D0F002CE0003D0F002C"), "", "rx rx rx", 0, 0x0F);
}

void TestHostSim::faults()
{
    QFETCH(QString, options);
    QFETCH(QByteArray, heard);
    QFETCH(QString, writes);
    QFETCH(int, later);
    QFETCH(int, outputs);
    const ParsedOptions parsed = parseOptions(QStringLiteral("alarm-host-sim ").append(options).split(u' '));
    QCOMPARE(parsed.outcome, ParsedOptions::Outcome::Run);
    QTemporaryDir dir;
    Trace trace;
    QString error;
    QVERIFY2(trace.open(dir.filePath(QStringLiteral("trace.txt")), &error), qPrintable(error));
    HostModel model(8, 0, parsed.options.ack);
    QVERIFY(model.setInputBytes(0xC0, 0));
    FakeLine line;
    HostSimulator sim(&model, &line, &trace, parsed.options.faults);
    QSignalSpy changed(&sim, &HostSimulator::outputsChanged);

    emit line.received(heard);
    const QStringList expected = writes.split(QLatin1String(" | "), Qt::SkipEmptyParts);
    QCOMPARE(line.writes, expected.first(expected.size() - later));
    QTRY_COMPARE_WITH_TIMEOUT(line.writes, expected, 5000);
    QCOMPARE(int(model.outputs()), outputs);
    QCOMPARE(changed.size(), outputs == 0 ? 0 : 1);

    QStringList kinds;
    for (const auto &[micros, text] : readTrace(dir.filePath(QStringLiteral("trace.txt")))) {
        kinds << text.section(u' ', 0, 0);
        // The line's faults name themselves; the host's own go unexplained.
        const bool named = text.contains(QLatin1String("  ")) || kinds.last() == QLatin1String("tx-drop")
                           || kinds.last() == QLatin1String("tx-garbage")
                           || !kinds.last().startsWith(QLatin1String("tx-"));
        QVERIFY2(named, qPrintable(text));
    }
    QTEST(kinds.join(u' '), "trace");
    // Replies dropped count as made.
    QCOMPARE(sim.repliesMade(), kinds.count(QStringLiteral("tx")) + kinds.count(QStringLiteral("tx-drop")));
}

void TestHostSim::scenarioGood()
{
    const QString text = QStringLiteral("# demo\n"
                                        "\n"
                                        "at 4.0 s input 2 clear\n"
                                        "at 1.0 s input 2 alarm   # first\n"
                                        "at 1s inputs 01 80\n"
                                        "repeat 8.0 s\n"
                                        "at 250ms alarm 16\n");
    Scenario scenario;
    QString error;
    QVERIFY2(parseScenario(text, 16, &scenario, &error), qPrintable(error));
    QCOMPARE(scenario.repeatMs, 8000);
    QCOMPARE(int(scenario.steps.size()), 4);
    QCOMPARE(scenario.steps[0].atMs, 250);
    QCOMPARE(scenario.steps[0].action.input, 16);
    // Equal times keep file order.
    QCOMPARE(scenario.steps[1].line, 4);
    QCOMPARE(scenario.steps[2].line, 5);
    QCOMPARE(int(scenario.steps[2].action.kind), int(InputAction::Kind::SetBytes));
    QCOMPARE(int(scenario.steps[2].action.in2), 0x80);
    QCOMPARE(scenario.steps[3].atMs, 4000);
    QVERIFY(!scenario.steps[3].action.alarm);

    // The demo file shipped with the program must load.
    QVERIFY2(loadScenario(demoScenario(), 8, &scenario, &error), qPrintable(error));
    QCOMPARE(scenario.repeatMs, 10000);
}

void TestHostSim::scheduleRepeats()
{
    Scenario scenario;
    QString error;
    QVERIFY(
        parseScenario(QStringLiteral("at 2 s alarm 2\nat 5 s clear 2\nrepeat 10 s\n"), 8, &scenario, &error));
    ScenarioSchedule schedule(scenario);
    QList<qint64> times;
    qint64 at = 0;
    InputAction action;
    for (int i = 0; i < 5 && schedule.next(&at, &action); ++i)
        times << at;
    QCOMPARE(times, (QList<qint64>{2000, 5000, 12000, 15000, 22000}));
    // A round is finished, then those the clock has left behind are passed over.
    QVERIFY(schedule.next(&at, &action, 95000) && at == 25000);
    QVERIFY(schedule.next(&at, &action, 95000));
    QCOMPARE(at, 92000);

    QVERIFY(parseScenario(QStringLiteral("at 2 s alarm 2\n"), 8, &scenario, &error));
    ScenarioSchedule once(scenario);
    QVERIFY(once.next(&at, &action));
    QVERIFY(!once.next(&at, &action));
}

void TestHostSim::consoleCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<ConsoleCommand::Kind>("kind");
    QTest::addColumn<QString>("state"); // of the 16-input host after the command
    QTest::addColumn<bool>("echo");
    const QString idle = QStringLiteral("in1=00 in2=00 out=00");
    QTest::newRow("alarm") << "alarm 12" << ConsoleCommand::Kind::Input << "in1=00 in2=08 out=00" << false;
    QTest::newRow("inputs") << "  inputs 0x05 81 \r" << ConsoleCommand::Kind::Input << "in1=05 in2=81 out=00"
                            << false;
    QTest::newRow("state") << "STATE" << ConsoleCommand::Kind::State << idle << false;
    QTest::newRow("empty") << QString() << ConsoleCommand::Kind::None << idle << false;
    QTest::newRow("echo") << "echo ON" << ConsoleCommand::Kind::Echo << idle << true;
}

void TestHostSim::consoleCommands()
{
    QFETCH(QString, line);
    ConsoleCommand command;
    QString error;
    QVERIFY2(parseConsoleCommand(line, 16, &command, &error), qPrintable(error));
    QTEST(command.kind, "kind");
    HostModel model(16);
    if (command.kind == ConsoleCommand::Kind::Input)
        QVERIFY(command.action.applyTo(model));
    QTEST(model.stateLine(), "state");
    QTEST(command.echo, "echo");
}

void TestHostSim::options()
{
    const ParsedOptions p = parseOptions(
        {"alarm-host-sim", "--model", "16", "--address", "15", "--drop-every", "3", "--ack", "--silent"});
    QCOMPARE(p.outcome, ParsedOptions::Outcome::Run);
    QCOMPARE(p.options.channels, 16);
    QCOMPARE(p.options.address, 15);
    QCOMPARE(p.options.faults.dropEvery, 3);
    QVERIFY(p.options.ack && p.options.faults.silent);
    QCOMPARE(parseOptions({"alarm-host-sim", "--help"}).outcome, ParsedOptions::Outcome::Help);
}

void TestHostSim::refused_data()
{
    QTest::addColumn<Parse>("parse");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("message"); // how the error starts
    const Parse scenario = [](const QString &text, QString *error) {
        Scenario scenario;
        return parseScenario(text, 8, &scenario, error);
    };
    const Parse options = [](const QString &line, QString *error) {
        const ParsedOptions parsed = parseOptions(QStringLiteral("alarm-host-sim ").append(line).split(u' '));
        *error = parsed.message;
        return parsed.outcome != ParsedOptions::Outcome::Error;
    };
    const Parse console = [](const QString &line, QString *error) {
        ConsoleCommand command;
        return parseConsoleCommand(line, 16, &command, error);
    };
    // Named by the input itself when it fits on one line.
    const auto row = [](const Parse &parse, const char *input, const char *message,
                        const char *name = nullptr) {
        QTest::newRow(name ? name : input) << parse << QString(input) << QString(message);
    };
    row(scenario, "at 1 s input 1 alarm\nwait 3 s\n", "line 2: expected 'at", "scenario: unknown verb");
    row(scenario, "\nat 1 input 1 alarm\n", "line 2: time '1' needs a unit", "scenario: no unit");
    row(scenario, "at -1 s input 1 alarm\n", "line 1: bad time", "scenario: negative");
    row(scenario, "at 1 s input 1 on\n", "line 1: expected 'alarm' or 'clear'", "scenario: bad state");
    row(scenario, "at 1 s input 9 alarm\n", "line 1: input number must be 1..8", "scenario: input range");
    row(scenario, "at 1 s inputs 00 01\n", "line 1: the 8-input host", "scenario: in2 on 8 inputs");
    row(scenario, "at 1 s inputs 100 00\n", "line 1: expected a hex byte", "scenario: bad hex");
    row(scenario, "repeat 5 s\nrepeat 6 s\n", "line 2: second 'repeat'", "scenario: two repeats");
    row(scenario, "repeat 0 s\n", "line 1: the repeat period", "scenario: zero repeat");
    row(scenario, "repeat 5 s\nat 1 s alarm 1\nat 5 s clear 1\n", "line 3: step at 5 s is not before",
        "scenario: step after period");
    row(scenario, "at 2 s\n", "line 1: missing action", "scenario: missing action");
    row(options, "--model 12", "--model must be 8 or 16");
    row(options, "--address 16", "--address must be a whole number 0..15");
    row(options, "--delay -1", "--delay must be a whole number 0..");
    row(options, "--oversize x", "--oversize must be a whole number 0..");
    row(options, "--nonsense", "Unknown option 'nonsense'");
    row(options, "stray", "unexpected argument 'stray'");
    row(options, "--delay", "Missing value after '--delay'");
    row(options, "--split-gap 0", "--split-gap must be a whole number 1..");
    row(options, "--other-address 16", "--other-address must be a whole number 0..15");
    row(console, "alarm", "usage: alarm N");
    row(console, "alarm x", "input number must be 1..16, got 'x'");
    row(console, "clear 17", "input number must be 1..16, got '17'");
    row(console, "quit now", "'quit' takes no arguments");
    row(console, "inputs 1", "usage: inputs HH HH");
    row(console, "frobnicate", "unknown action 'frobnicate'");
    row(console, "echo", "usage: echo on|off");
    row(console, "echo 1", "usage: echo on|off");
}

void TestHostSim::refused()
{
    QFETCH(Parse, parse);
    QFETCH(QString, input);
    QString error;
    QVERIFY(!parse(input, &error));
    QFETCH(QString, message);
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

void TestHostSim::programOnPty()
{
    QTemporaryDir dir;
    const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
    SimProgram sim;
    QVERIFY(sim.start({"--model", "16", "--address", "3", "--trace", tracePath}));
    QVERIFY(sim.openLine());
    QVERIFY2(sim.path.startsWith(QLatin1String("/dev/")), qPrintable(sim.path));

    // A line over the cap, longer than one read, is dropped as one.
    sim.process.write("alarm 10\nbogus\n" + QByteArray(5000, 'x') + "\nstate\n");
    QCOMPARE(sim.readLine(), QStringLiteral("in1=00 in2=02 out=00"));
    const qint64 before = microsNow();
    QCOMPARE(sim.exchange(makeFrame(4, kInputQuery, 0) + makeFrame(3, kInputQuery, 0), 6),
             makeFrame(3, kInputQuery, 0x00, 0x02));
    // Output command: no reply without --ack, but the change is printed.
    QVERIFY(sim.send(makeFrame(3, kOutputCommand, 0x81)));
    QCOMPARE(sim.readLine(), QStringLiteral("outputs 81"));
    const qint64 after = microsNow();
    sim.line.close();

    // Lines are written in order and at once, so a reply to the output
    // command would already be there.
    QStringList lines;
    qint64 previous = before;
    for (const auto &[micros, text] : readTrace(tracePath)) {
        lines << text;
        // Same clock as ours, in order.
        QVERIFY(micros >= previous && micros <= after);
        previous = micros;
    }
    QCOMPARE(lines, (QStringList{"rx-other E0 04 3F 00 00 23", "rx E0 03 3F 00 00 22", "tx E0 03 3F 00 02 24",
                                 "rx E0 03 3D 81 00 A1"}));

    sim.process.write("quit\n");
    QVERIFY(sim.endsNormally());
    QCOMPARE(sim.process.exitCode(), 0);
    // The bad console line was reported and skipped.
    const QString errors = QString::fromLocal8Bit(sim.process.readAllStandardError());
    QVERIFY2(errors.contains(QLatin1String("unknown action 'bogus'")), qPrintable(errors));
    QCOMPARE(errors.count(QLatin1String("alarm-host-sim: ")), 2);
    QVERIFY2(errors.contains(QLatin1String("line longer than 1024 bytes, ignored")), qPrintable(errors));
}

void TestHostSim::programEnds_data()
{
    // "%dir" is a scratch folder holding the FIFO "fifo", "theirs.txt",
    // another user's file, "link" to that, "bad.scenario" and
    // "overload.scenario"; "%pty" the slave of a pseudo-terminal whose
    // master the test closes once the program runs; "%demo" the demo
    // scenario shipped with the program. `message` is all the
    // program says on stderr.
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<Run>("run");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *tag, const QString &arguments, const Run &run, int exitCode,
                        const char *message = "") {
        QTest::newRow(tag) << arguments << run << exitCode << QString(message);
    };
    const Run start = [](SimProgram &sim, const QStringList &arguments) { QVERIFY(sim.start(arguments)); };
    // Until the program has the device, given last, open.
    const Run startOnDevice = [](SimProgram &sim, const QStringList &arguments) {
        QVERIFY(sim.start(arguments));
        QCOMPARE(sim.readLine(), arguments.last());
    };
    // With a file size limit of 60 bytes, the trace's second line is cut short.
    const Run queryAtFileSizeLimit = [](SimProgram &sim, const QStringList &arguments) {
        sim.process.setChildProcessModifier([] {
            const rlimit limit{60, 60};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        QVERIFY(sim.start(arguments) && sim.openLine() && sim.send(kInputQuery0));
    };
    // A background run, standard input at its end, answers until terminated.
    const Run answerUntilTerminated = [](SimProgram &sim, const QStringList &arguments) {
        sim.process.setStandardInputFile(QProcess::nullDevice());
        QVERIFY(sim.start(arguments) && sim.openLine());
        for (int round = 0; round < 2; ++round)
            QCOMPARE(sim.exchange(kOutputQuery0, 6), kOutputQuery0);
        QCOMPARE(sim.process.state(), QProcess::Running);
        sim.process.terminate();
    };
    const Run answerUntilInputEnds = [](SimProgram &sim, const QStringList &arguments) {
        QVERIFY(sim.start(arguments) && sim.openLine());
        QCOMPARE(sim.exchange(kOutputQuery0, 6), kOutputQuery0);
        sim.process.closeWriteChannel();
    };
    row("trace into a FIFO", "--trace %dir/fifo", start, 1,
        "cannot write trace %dir/fifo: not a regular file");
    row("trace into a device", "--trace /dev/full", start, 1,
        "cannot write trace /dev/full: not a regular file");
    row("trace write fails", "--trace %dir/trace.txt", queryAtFileSizeLimit, 1,
        "cannot write trace %dir/trace.txt: File too large");
    // Refused before it is emptied.
    row("trace through a link", "--trace %dir/link", start, 1,
        "cannot write trace %dir/link: a symbolic link");
    row("trace into another user's file", "--trace %dir/theirs.txt", start, 1,
        "cannot write trace %dir/theirs.txt: owned by another user");
    row("endless scenario", "--scenario /dev/zero", start, 2, "/dev/zero: longer than 1048576 bytes");
    row("bad scenario", "--scenario %dir/bad.scenario", start, 2,
        "%dir/bad.scenario: line 3: expected 'alarm' or 'clear' after the input number, got 'maybe'");
    row("device hangs up", "--device %pty", startOnDevice, 1, "%pty: the line hung up or cannot be read");
    row("demo scenario, terminated", "--scenario %demo", answerUntilTerminated, 0);
    // Far more steps than the machine can play in time still leave room for
    // the line and the signal.
    row("overloaded scenario, terminated", "--scenario %dir/overload.scenario", answerUntilTerminated, 0);
    row("end of input", "--exit-on-eof", answerUntilInputEnds, 0);
}

void TestHostSim::programEnds()
{
    QFETCH(QString, arguments);
    QTemporaryDir dir;
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    const QString theirs = dir.filePath(QStringLiteral("theirs.txt"));
    QVERIFY(writeFile(theirs, "kept\n") && QFile::link(theirs, dir.filePath(QStringLiteral("link"))));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("bad.scenario")),
                      "# ok\nat 1 s input 2 alarm\nat 2 s input 2 maybe\n"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("overload.scenario")),
                      "repeat 1 ms\n" + QByteArray("at 0ms alarm 1\n").repeated(60000)));
    if (::chown(QFile::encodeName(theirs).constData(), 65534, 65534) != 0
        && arguments.contains(QLatin1String("theirs")))
        QSKIP("only root can give a file to another user");
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    // Not inherited, or the program would hold the master open itself.
    QVERIFY(master >= 0 && fcntl(master, F_SETFD, FD_CLOEXEC) == 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    const auto fill = [&](QString text) {
        return text.replace(QLatin1String("%dir"), dir.path())
            .replace(QLatin1String("%pty"), slave)
            .replace(QLatin1String("%demo"), demoScenario());
    };

    SimProgram sim;
    QFETCH(Run, run);
    QStringList args;
    for (const QString &argument : arguments.split(u' '))
        args << fill(argument);
    run(sim, args);
    ::close(master);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(sim.endsNormally());
    QTEST(sim.process.exitCode(), "exitCode");
    QFETCH(QString, message);
    const QString errors = QString::fromLocal8Bit(sim.process.readAllStandardError()).trimmed();
    QCOMPARE(errors, message.isEmpty() ? message : QStringLiteral("alarm-host-sim: ") + fill(message));
    // Nothing on stdout but the line's path, read above.
    QVERIFY(sim.process.readAllStandardOutput().isEmpty());
    QFile kept(theirs);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept\n"));
}

QTEST_GUILESS_MAIN(TestHostSim)
#include "tst_hostsim.moc"
