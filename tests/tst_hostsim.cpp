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
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
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

// A parser: false, with the reason in `error`, when it refuses `input`.
using Parse = std::function<bool(const QString &input, QString *error)>;

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
    void programRejectsBadScenarioAndStopsOnSigterm();
    void programStopsWhenItCannotGoOn_data();
    void programStopsWhenItCannotGoOn();
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

namespace {

QString readLineWithin(QProcess &process, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// Waits for a stdout line equal to `wanted`, skipping others.
bool waitForLine(QProcess &process, const QString &wanted, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (readLineWithin(process, int(qMax<qint64>(1, deadline.remainingTime()))) == wanted)
            return true;
    }
    return false;
}

QByteArray readBytesWithin(int fd, int count, int ms)
{
    QByteArray bytes;
    QDeadlineTimer deadline(ms);
    while (bytes.size() < count && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, n);
    }
    return bytes;
}

int openRaw(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios settings{};
    if (fd < 0 || tcgetattr(fd, &settings) != 0)
        return -1;
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

const QString kProgram = QStringLiteral(ALARM_BIN_DIR "/alarm-host-sim");

} // namespace

void TestHostSim::programOnPty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));

    QProcess sim;
    sim.start(kProgram, {QStringLiteral("--model"), QStringLiteral("16"), QStringLiteral("--address"),
                         QStringLiteral("3"), QStringLiteral("--trace"), tracePath});
    QVERIFY2(sim.waitForStarted(10000), qPrintable(sim.errorString()));
    const QString slave = readLineWithin(sim, 10000);
    QVERIFY2(slave.startsWith(QLatin1String("/dev/")), qPrintable(slave));

    const int fd = openRaw(slave);
    QVERIFY(fd >= 0);

    // A line over the cap, longer than one read, is dropped as one.
    sim.write("alarm 10\nbogus\n" + QByteArray(5000, 'x') + "\nstate\n");
    QVERIFY(waitForLine(sim, QStringLiteral("in1=00 in2=02 out=00"), 10000));

    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 before = qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    const QByteArray query = makeFrame(3, kInputQuery, 0);
    const QByteArray otherHost = makeFrame(4, kInputQuery, 0);
    QCOMPARE(::write(fd, (otherHost + query).constData(), 12), ssize_t(12));
    QCOMPARE(readBytesWithin(fd, 6, 10000), makeFrame(3, kInputQuery, 0x00, 0x02));

    // Output command: no reply without --ack, but the change is printed.
    const QByteArray command = makeFrame(3, kOutputCommand, 0x81);
    QCOMPARE(::write(fd, command.constData(), 6), ssize_t(6));
    QVERIFY(waitForLine(sim, QStringLiteral("outputs 81"), 10000));
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 after = qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    ::close(fd);

    // Lines are written in order and at once, so a reply to the output
    // command would already be there.
    QFile trace(tracePath);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = trace.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    static const QRegularExpression format(
        QStringLiteral("^(\\d+) ([a-z-]+) ((?:[0-9A-F]{2} )*[0-9A-F]{2})$"));
    const QStringList expected = {
        QStringLiteral("rx-other E0 04 3F 00 00 23"), QStringLiteral("rx E0 03 3F 00 00 22"),
        QStringLiteral("tx E0 03 3F 00 02 24"), QStringLiteral("rx E0 03 3D 81 00 A1")};
    qint64 previous = before;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = format.match(QString::fromLatin1(lines[i]));
        QVERIFY2(m.hasMatch(), lines[i].constData());
        QCOMPARE(m.captured(2) + QLatin1Char(' ') + m.captured(3), expected[i]);
        // Same clock as ours, in order.
        const qint64 stamp = m.captured(1).toLongLong();
        QVERIFY(stamp >= previous && stamp <= after);
        previous = stamp;
    }

    sim.write("quit\n");
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    // The bad console line was reported and skipped.
    const QString errors = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(errors.contains(QLatin1String("unknown action 'bogus'")), qPrintable(errors));
    QCOMPARE(errors.count(QLatin1String("alarm-host-sim: ")), 2);
    QVERIFY2(errors.contains(QLatin1String("line longer than 1024 bytes, ignored")), qPrintable(errors));
}

void TestHostSim::programRejectsBadScenarioAndStopsOnSigterm()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("bad.scenario"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# ok\nat 1 s input 2 alarm\nat 2 s input 2 maybe\n");
    file.close();

    QProcess bad;
    bad.start(kProgram, {QStringLiteral("--scenario"), path});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardOutput().isEmpty());
    const QString message = QString::fromLocal8Bit(bad.readAllStandardError());
    QVERIFY2(message.contains(QLatin1String("line 3")), qPrintable(message));

    // A scenario far more than the machine can play in time: the steps
    // still leave room for the line and the signal.
    const QString overload = dir.filePath(QStringLiteral("overload.scenario"));
    QFile heavy(overload);
    QVERIFY(heavy.open(QIODevice::WriteOnly));
    heavy.write("repeat 1 ms\n" + QByteArray("at 0ms alarm 1\n").repeated(60000));
    heavy.close();

    // A background run with stdin at EOF still answers, until terminated.
    for (const QString &scenario : {demoScenario(), overload}) {
        QProcess sim;
        sim.setStandardInputFile(QProcess::nullDevice());
        sim.start(kProgram, {QStringLiteral("--scenario"), scenario});
        QVERIFY(sim.waitForStarted(10000));
        const int fd = openRaw(readLineWithin(sim, 10000));
        QVERIFY(fd >= 0);
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(::write(fd, kOutputQuery0.constData(), 6), ssize_t(6));
            QCOMPARE(readBytesWithin(fd, 6, 10000), kOutputQuery0);
        }
        ::close(fd);
        QCOMPARE(sim.state(), QProcess::Running);
        sim.terminate();
        QVERIFY2(sim.waitForFinished(10000), qPrintable(scenario));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }

    QProcess once;
    once.setStandardInputFile(QProcess::nullDevice());
    once.start(kProgram, {QStringLiteral("--exit-on-eof")});
    QVERIFY(once.waitForFinished(10000));
    QCOMPARE(once.exitCode(), 0);
}

void TestHostSim::programStopsWhenItCannotGoOn_data()
{
    // "%dir" is a scratch folder holding the FIFO "fifo", "theirs.txt",
    // another user's file, and "link" to that; "%pty" the slave of a
    // pseudo-terminal whose master the test closes once the program runs.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("trace into a FIFO")
        << QStringList{"--trace", "%dir/fifo"} << 1 << "cannot write trace %dir/fifo: not a regular file";
    QTest::newRow("trace into a device")
        << QStringList{"--trace", "/dev/full"} << 1 << "cannot write trace /dev/full: not a regular file";
    // Run with a file size limit of 60 bytes: the second line is cut short.
    QTest::newRow("trace write fails") << QStringList{"--trace", "%dir/trace.txt"} << 1
                                       << "cannot write trace %dir/trace.txt: File too large";
    // Refused before it is emptied.
    QTest::newRow("trace through a link")
        << QStringList{"--trace", "%dir/link"} << 1 << "cannot write trace %dir/link: a symbolic link";
    QTest::newRow("trace into another user's file")
        << QStringList{"--trace", "%dir/theirs.txt"} << 1
        << "cannot write trace %dir/theirs.txt: owned by another user";
    QTest::newRow("endless scenario")
        << QStringList{"--scenario", "/dev/zero"} << 2 << "/dev/zero: longer than 1048576 bytes";
    QTest::newRow("device hangs up") << QStringList{"--device", "%pty"} << 1
                                     << "%pty: the line hung up or cannot be read";
}

void TestHostSim::programStopsWhenItCannotGoOn()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    QFile theirs(dir.filePath(QStringLiteral("theirs.txt")));
    QVERIFY(theirs.open(QIODevice::WriteOnly) && theirs.write("kept\n") == 5);
    theirs.close();
    QVERIFY(QFile::link(theirs.fileName(), dir.filePath(QStringLiteral("link"))));
    if (::chown(QFile::encodeName(theirs.fileName()).constData(), 65534, 65534) != 0
        && arguments.contains(QStringLiteral("%dir/theirs.txt"))) {
        QTest::qSkip("only root can give a file to another user", __FILE__, __LINE__);
        return;
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    // Not inherited, or the program would hold the master open itself.
    QVERIFY(master >= 0 && fcntl(master, F_SETFD, FD_CLOEXEC) == 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    const auto fill = [&](QString text) {
        return text.replace(QLatin1String("%dir"), dir.path()).replace(QLatin1String("%pty"), slave);
    };
    QStringList args;
    for (const QString &argument : arguments)
        args << fill(argument);

    QProcess sim;
    const bool limited = QTest::currentDataTag() == QLatin1String("trace write fails");
    if (limited) {
        sim.setChildProcessModifier([] {
            const rlimit limit{60, 60};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    sim.start(kProgram, args);
    QVERIFY2(sim.waitForStarted(10000), qPrintable(sim.errorString()));
    if (args.first() == QLatin1String("--device")) {
        QCOMPARE(readLineWithin(sim, 10000), slave);
    } else if (limited) {
        const int fd = openRaw(readLineWithin(sim, 10000));
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, kInputQuery0.constData(), 6), ssize_t(6));
        ::close(fd);
    }
    ::close(master);
    QVERIFY2(sim.waitForFinished(10000), "still running");
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QTEST(sim.exitCode(), "exitCode");
    const QString errors = QString::fromLocal8Bit(sim.readAllStandardError()).trimmed();
    QCOMPARE(errors, QStringLiteral("alarm-host-sim: ") + fill(message));
    QVERIFY(theirs.open(QIODevice::ReadOnly));
    QCOMPARE(theirs.readAll(), QByteArray("kept\n"));
}

QTEST_GUILESS_MAIN(TestHostSim)
#include "tst_hostsim.moc"
