#include "simoptions.h"

#include <QCommandLineParser>

#include <limits>

namespace hostsim {

namespace {

const char *const kDescription =
    "Simulates the serial alarm host for the tester.\n"
    "\n"
    "Without --device it makes a pseudo-terminal and prints its path as the\n"
    "first line of standard output; point the tester at it with\n"
    "ALARM_HOST_TESTER_COM1=<path>. Whenever the outputs change it prints\n"
    "'outputs HH'.\n"
    "\n"
    "Standard input takes one command a line:\n"
    "  alarm N | clear N        put input N (1..8 or 1..16) in alarm / clear it\n"
    "  input N alarm|clear      the same\n"
    "  inputs HH HH             set both input bytes (hex; inputs 1-8, 9-16)\n"
    "  echo on|off              the adapter's echo (--echo) from now on / no more\n"
    "  state                    print 'in1=HH in2=HH out=HH'\n"
    "  quit                     exit\n"
    "A bad command, or a line longer than 1024 bytes, prints a message on\n"
    "stderr and is ignored.\n"
    "\n"
    "Scenario file lines (times from program start, 's' or 'ms'):\n"
    "  at 1.0 s input 2 alarm\n"
    "  at 4.0 s input 2 clear\n"
    "  at 5 s inputs 01 00\n"
    "  repeat 8.0 s             start over every 8 s (optional; the inputs\n"
    "                           are not reset, the steps just run again;\n"
    "                           rounds the program fell behind are skipped)\n"
    "  # comment\n"
    "A scenario file may hold at most 1 MiB.\n"
    "\n"
    "Trace file lines: <CLOCK_MONOTONIC microseconds> <what> <bytes in hex>\n"
    "[  <meaning>], what = rx (frame for this host), rx-other (another\n"
    "address), rx-bad (bad checksum or unknown command), rx-garbage (bytes\n"
    "skipped looking for a frame start), tx (reply as sent, faults applied;\n"
    "the meaning names --split-gap and --other-framing), tx-garbage, tx-drop\n"
    "(reply withheld by --drop-every), and one line for each thing the line\n"
    "faults send: tx-echo, tx-stray, tx-split (the second half of a reply),\n"
    "tx-other-master, tx-other-address. The trace file must be a regular file\n"
    "of your own (created, or emptied once checked); a FIFO, a device, a\n"
    "symbolic link or another user's file is refused.\n"
    "\n"
    "Exit status: 0 on quit, SIGTERM/SIGINT or end of input with\n"
    "--exit-on-eof; 1 when the line fails (the --device hangs up or goes\n"
    "away) or the trace file cannot be opened or written, the reason on\n"
    "stderr; 2 on bad options or a bad scenario file.";

bool readInt(const QCommandLineParser &parser, const QString &name, int low, int high, int *value,
             QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const QString text = parser.value(name);
    const int parsed = text.toInt(&ok, 10);
    if (!ok || parsed < low || parsed > high) {
        *error = QStringLiteral("--%1 must be a whole number %2..%3, got '%4'")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return false;
    }
    *value = parsed;
    return true;
}

} // namespace

ParsedOptions parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    parser.addOptions({
        {QStringLiteral("device"),
         QStringLiteral("Use this serial device (9600 8N1) instead of a pseudo-terminal."),
         QStringLiteral("path")},
        {QStringLiteral("model"), QStringLiteral("8 or 16 inputs (default 8)."), QStringLiteral("n")},
        {QStringLiteral("address"), QStringLiteral("Host address 0..15 (default 0)."), QStringLiteral("n")},
        {QStringLiteral("ack"), QStringLiteral("Answer output commands (E0 addr 3D out 00 sum).")},
        {QStringLiteral("scenario"), QStringLiteral("Play the timed input steps of this file."),
         QStringLiteral("file")},
        {QStringLiteral("trace"), QStringLiteral("Log every frame received and sent to this file."),
         QStringLiteral("file")},
        {QStringLiteral("exit-on-eof"),
         QStringLiteral("Exit when standard input ends (default: keep running).")},
        {QStringLiteral("delay"), QStringLiteral("Wait this long before each reply."), QStringLiteral("ms")},
        {QStringLiteral("byte-gap"), QStringLiteral("Send replies byte by byte, this far apart."),
         QStringLiteral("ms")},
        {QStringLiteral("drop-every"), QStringLiteral("Leave out every n-th reply."), QStringLiteral("n")},
        {QStringLiteral("garbage-rate"),
         QStringLiteral("Send n random bytes (any value, E0 too) ahead of each reply."), QStringLiteral("n")},
        {QStringLiteral("bad-checksum"),
         QStringLiteral("Send replies with a wrong checksum (off by one, never E0).")},
        {QStringLiteral("oversize"), QStringLiteral("Append n extra 00 bytes to each reply."),
         QStringLiteral("n")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("seed"), QStringLiteral("Seed for the garbage bytes (default 1)."),
         QStringLiteral("n")},
        {QStringLiteral("echo"),
         QStringLiteral("Send every byte received straight back, ahead of any reply (a 2-wire adapter "
                        "whose receiver stays on).")},
        {QStringLiteral("stray-byte"),
         QStringLiteral("Send a 00 ahead of each reply, in the same write (a glitch at bus turnaround).")},
        {QStringLiteral("split-gap"),
         QStringLiteral("Send each reply as 3 + 3 bytes with this gap between the halves."),
         QStringLiteral("ms")},
        {QStringLiteral("other-master"),
         QStringLiteral("After each input status query, send another master's output command "
                        "E0 addr 3D 04 00 sum, ahead of the reply (the host does not act on it).")},
        {QStringLiteral("other-address"),
         QStringLiteral("After each reply, send an input reply from address n with a wrong checksum "
                        "(E0 n 3F 80 00 FF)."),
         QStringLiteral("n")},
        {QStringLiteral("other-framing"),
         QStringLiteral("Frame replies otherwise: start byte A0, no checksum (byte 5 is 00).")},
    });

    ParsedOptions result;
    if (!parser.parse(arguments)) {
        result.outcome = ParsedOptions::Outcome::Error;
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.outcome = ParsedOptions::Outcome::Help;
        result.message = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.outcome = ParsedOptions::Outcome::Error;
        result.message = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return result;
    }

    SimOptions &o = result.options;
    Faults &f = o.faults;
    constexpr int kMaxMs = 60000;
    constexpr int kMaxCount = 1000000;
    int seed = 1;
    QString error;
    const bool ok =
        readInt(parser, QStringLiteral("model"), 8, 16, &o.channels, &error)
        && readInt(parser, QStringLiteral("address"), 0, 15, &o.address, &error)
        && readInt(parser, QStringLiteral("delay"), 0, kMaxMs, &f.delayMs, &error)
        && readInt(parser, QStringLiteral("byte-gap"), 0, kMaxMs, &f.byteGapMs, &error)
        && readInt(parser, QStringLiteral("drop-every"), 0, kMaxCount, &f.dropEvery, &error)
        && readInt(parser, QStringLiteral("garbage-rate"), 0, 4096, &f.garbageBytes, &error)
        && readInt(parser, QStringLiteral("oversize"), 0, 4096, &f.oversize, &error)
        && readInt(parser, QStringLiteral("split-gap"), 1, kMaxMs, &f.splitGapMs, &error)
        && readInt(parser, QStringLiteral("other-address"), 0, 15, &f.otherAddress, &error)
        && readInt(parser, QStringLiteral("seed"), 0, std::numeric_limits<int>::max(), &seed, &error);
    if (ok && o.channels != 8 && o.channels != 16)
        error = QStringLiteral("--model must be 8 or 16, got '%1'").arg(o.channels);
    if (!error.isEmpty()) {
        result.outcome = ParsedOptions::Outcome::Error;
        result.message = error;
        return result;
    }
    f.seed = quint32(seed);
    f.badChecksum = parser.isSet(QStringLiteral("bad-checksum"));
    f.silent = parser.isSet(QStringLiteral("silent"));
    f.echo = parser.isSet(QStringLiteral("echo"));
    f.strayByte = parser.isSet(QStringLiteral("stray-byte"));
    f.otherMaster = parser.isSet(QStringLiteral("other-master"));
    f.otherFraming = parser.isSet(QStringLiteral("other-framing"));
    o.ack = parser.isSet(QStringLiteral("ack"));
    o.exitOnEof = parser.isSet(QStringLiteral("exit-on-eof"));
    o.device = parser.value(QStringLiteral("device"));
    o.scenarioPath = parser.value(QStringLiteral("scenario"));
    o.tracePath = parser.value(QStringLiteral("trace"));
    if (parser.isSet(QStringLiteral("device")) && o.device.isEmpty()) {
        result.outcome = ParsedOptions::Outcome::Error;
        result.message = QStringLiteral("--device needs a path");
    }
    return result;
}

} // namespace hostsim
