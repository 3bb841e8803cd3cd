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
