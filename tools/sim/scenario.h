#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <vector>

namespace hostsim {

class HostModel;

// A change to the inputs, from a console command or a scenario step.
struct InputAction
{
    enum class Kind { SetInput, SetBytes };
    Kind kind = Kind::SetInput;
    int input = 0;      // 1..16, SetInput
    bool alarm = false; // SetInput
    uint8_t in1 = 0;    // SetBytes
    uint8_t in2 = 0;

    bool applyTo(HostModel &model, QString *error = nullptr) const;
};

// One line typed on standard input.
struct ConsoleCommand
{
    enum class Kind { None, Input, State, Quit, Help, Echo };
    Kind kind = Kind::None;
    InputAction action;
    bool echo = false; // Echo: on or off
};

// Parses "alarm N", "clear N", "inputs HH HH", "state", "quit", "help",
// "echo on|off";
// an empty line gives Kind::None. `channels` bounds the input numbers.
bool parseConsoleCommand(const QString &line, int channels, ConsoleCommand *command, QString *error);
QString consoleHelp();

struct ScenarioStep
{
    qint64 atMs = 0;
    InputAction action;
    int line = 0;
};

struct Scenario
{
    std::vector<ScenarioStep> steps; // sorted by time, file order kept for ties
    qint64 repeatMs = 0;             // 0: run once
};

// Lines: "at T s input N alarm|clear", "at T s inputs HH HH", "repeat T s",
// '#' comments. Times take "s" or "ms", with or without a space.
// Errors name the line: "line 3: ...".
bool parseScenario(const QString &text, int channels, Scenario *scenario, QString *error);
// Reads at most kMaxScenarioBytes: a larger file (or an endless one such as
// /dev/zero) is refused rather than read into memory without end.
constexpr qint64 kMaxScenarioBytes = 1024 * 1024;
bool loadScenario(const QString &path, int channels, Scenario *scenario, QString *error);

// Walks the steps in time order, round after round for a repeating scenario.
// Times are counted from the scenario's start.
class ScenarioSchedule
{
public:
    explicit ScenarioSchedule(Scenario scenario);
    // False once a one-shot scenario is used up (or has no steps). Rounds
    // that would start before the one under way at `nowMs` are passed over:
    // every step sets inputs to fixed values, so a round played again leaves
    // what the round just played left.
    bool next(qint64 *atMs, InputAction *action, qint64 nowMs = 0);

private:
    Scenario m_scenario;
    size_t m_index = 0;
    qint64 m_roundStart = 0;
};

// Fires the steps of a schedule on time against `clock` (the program's start).
class ScenarioRunner : public QObject
{
    Q_OBJECT

public:
    ScenarioRunner(Scenario scenario, const QElapsedTimer &clock, QObject *parent = nullptr);
    void start();

signals:
    void stepDue(const hostsim::InputAction &action);

private:
    // Steps run per turn of the event loop while catching up, so that the
    // line and the signals are served in between.
    static constexpr int kStepsPerTurn = 1000;

    void fire();
    void armNext();

    ScenarioSchedule m_schedule;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_hasNext = false;
    qint64 m_nextAt = 0;
    InputAction m_nextAction;
};

} // namespace hostsim
