#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace hostsim {

// Ways to misbehave on purpose, so the tester's error handling can be tried.
struct Faults
{
    int delayMs = 0;      // before each reply
    int byteGapMs = 0;    // between the bytes of a reply
    int dropEvery = 0;    // drop every N-th reply; 0 = never
    int garbageBytes = 0; // random bytes sent ahead of each reply
    bool badChecksum = false;
    int oversize = 0; // extra bytes after each reply
    bool silent = false;
    quint32 seed = 1; // garbage bytes; fixed so runs can be repeated

    // What the line itself does, apart from the host.
    bool echo = false;         // every byte received goes straight back
    bool strayByte = false;    // a 00 ahead of each reply, in the same write
    int splitGapMs = 0;        // each reply as 3 + 3 bytes this far apart; 0 = whole
    bool otherMaster = false;  // another master's output command after each input query
    int otherAddress = -1;     // a bad reply from this address after each reply; -1 = none
    bool otherFraming = false; // replies start with A0 and carry no checksum
};

struct SimOptions
{
    QString device; // empty: make a pseudo-terminal
    int channels = 8;
    int address = 0;
    bool ack = false;
    QString scenarioPath;
    QString tracePath;
    bool exitOnEof = false;
    Faults faults;
};

struct ParsedOptions
{
    enum class Outcome { Run, Help, Error };
    Outcome outcome = Outcome::Run;
    SimOptions options;
    QString message; // help text or the error
};

// `arguments` includes the program name first, as QCoreApplication gives it.
ParsedOptions parseOptions(const QStringList &arguments);

} // namespace hostsim
