#include "scenario.h"

#include "hostmodel.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <utility>

namespace hostsim {

namespace {

// Ten days is far beyond any test run and keeps the millisecond arithmetic
// well inside qint64.
constexpr double kMaxSeconds = 864000.0;

QStringList tokensOf(const QString &line)
{
    QString text = line;
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        text.truncate(hash);
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

bool parseInputNumber(const QString &token, int channels, int *number, QString *error)
{
    bool ok = false;
    const int value = token.toInt(&ok, 10);
    if (!ok || value < 1 || value > channels) {
        *error = QStringLiteral("input number must be 1..%1, got '%2'").arg(channels).arg(token);
        return false;
    }
    *number = value;
    return true;
}

bool parseHexByte(const QString &token, uint8_t *value, QString *error)
{
    QString digits = token;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits.remove(0, 2);
    bool ok = false;
    const uint parsed = digits.toUInt(&ok, 16);
    if (!ok || digits.isEmpty() || digits.size() > 2 || parsed > 0xFF) {
        *error = QStringLiteral("expected a hex byte such as 05 or FF, got '%1'").arg(token);
        return false;
    }
    *value = uint8_t(parsed);
    return true;
}

// Input actions share one grammar between the console and scenario files:
// "alarm N", "clear N", "input N alarm|clear", "inputs HH HH".
bool parseAction(const QStringList &tokens, int channels, InputAction *action, QString *error)
{
    if (tokens.isEmpty()) {
        *error = QStringLiteral("missing action (alarm N, clear N, input N alarm|clear, inputs HH HH)");
        return false;
    }
    const QString verb = tokens.first().toLower();
    if (verb == QLatin1String("alarm") || verb == QLatin1String("clear")) {
        if (tokens.size() != 2) {
            *error = QStringLiteral("usage: %1 N").arg(verb);
            return false;
        }
        action->kind = InputAction::Kind::SetInput;
        action->alarm = verb == QLatin1String("alarm");
        return parseInputNumber(tokens.at(1), channels, &action->input, error);
    }
    if (verb == QLatin1String("input")) {
        if (tokens.size() != 3) {
            *error = QStringLiteral("usage: input N alarm|clear");
            return false;
        }
        if (!parseInputNumber(tokens.at(1), channels, &action->input, error))
            return false;
        const QString state = tokens.at(2).toLower();
        if (state != QLatin1String("alarm") && state != QLatin1String("clear")) {
            *error = QStringLiteral("expected 'alarm' or 'clear' after the input number, got '%1'")
                         .arg(tokens.at(2));
            return false;
        }
        action->kind = InputAction::Kind::SetInput;
        action->alarm = state == QLatin1String("alarm");
        return true;
    }
    if (verb == QLatin1String("inputs")) {
        if (tokens.size() != 3) {
            *error = QStringLiteral("usage: inputs HH HH (inputs 1-8, inputs 9-16, hex)");
            return false;
        }
        action->kind = InputAction::Kind::SetBytes;
        if (!parseHexByte(tokens.at(1), &action->in1, error)
            || !parseHexByte(tokens.at(2), &action->in2, error))
            return false;
        if (channels == 8 && action->in2 != 0) {
            *error = QStringLiteral("the 8-input host has no inputs 9..16; the second byte must be 00");
            return false;
        }
        return true;
    }
    *error = QStringLiteral("unknown action '%1'").arg(tokens.first());
    return false;
}

// Reads "1.5 s", "1.5s", "200 ms" or "200ms" from tokens[index...];
// returns how many tokens it used, 0 on error.
int parseTime(const QStringList &tokens, int index, qint64 *ms, QString *error)
{
    if (index >= tokens.size()) {
        *error = QStringLiteral("missing time (e.g. '1.5 s')");
        return 0;
    }
    QString number = tokens.at(index);
    QString unit;
    int used = 1;
    static const QRegularExpression glued(QStringLiteral("^(.*?)(ms|s)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = glued.match(number);
    if (match.hasMatch() && !match.captured(1).isEmpty()) {
        number = match.captured(1);
        unit = match.captured(2).toLower();
    } else if (index + 1 < tokens.size()) {
        unit = tokens.at(index + 1).toLower();
        used = 2;
    }
    if (unit != QLatin1String("s") && unit != QLatin1String("ms")) {
        *error = QStringLiteral("time '%1' needs a unit, 's' or 'ms'").arg(tokens.at(index));
        return 0;
    }
    bool ok = false;
    double value = number.toDouble(&ok);
    if (unit == QLatin1String("ms"))
        value /= 1000.0;
    if (!ok || !std::isfinite(value) || value < 0 || value > kMaxSeconds) {
        *error = QStringLiteral("bad time '%1'").arg(number);
        return 0;
    }
    *ms = std::llround(value * 1000.0);
    return used;
}

} // namespace

bool InputAction::applyTo(HostModel &model, QString *error) const
{
    if (kind == Kind::SetInput)
        return model.setInput(input, alarm, error);
    return model.setInputBytes(in1, in2, error);
}

bool parseConsoleCommand(const QString &line, int channels, ConsoleCommand *command, QString *error)
{
    const QStringList tokens = tokensOf(line);
    *command = ConsoleCommand();
    if (tokens.isEmpty())
        return true;
    const QString verb = tokens.first().toLower();
    const auto bare = [&](ConsoleCommand::Kind kind) {
        if (tokens.size() != 1) {
            *error = QStringLiteral("'%1' takes no arguments").arg(verb);
            return false;
        }
        command->kind = kind;
        return true;
    };
    if (verb == QLatin1String("state"))
        return bare(ConsoleCommand::Kind::State);
    if (verb == QLatin1String("quit") || verb == QLatin1String("exit"))
        return bare(ConsoleCommand::Kind::Quit);
    if (verb == QLatin1String("help"))
        return bare(ConsoleCommand::Kind::Help);
    if (verb == QLatin1String("echo")) {
        const QString state = tokens.value(1).toLower();
        if (tokens.size() != 2 || (state != QLatin1String("on") && state != QLatin1String("off"))) {
            *error = QStringLiteral("usage: echo on|off");
            return false;
        }
        command->kind = ConsoleCommand::Kind::Echo;
        command->echo = state == QLatin1String("on");
        return true;
    }
    if (!parseAction(tokens, channels, &command->action, error))
        return false;
    command->kind = ConsoleCommand::Kind::Input;
    return true;
}

QString consoleHelp()
{
    return QStringLiteral("commands: alarm N | clear N | input N alarm|clear | inputs HH HH | echo on|off | "
                          "state | quit | help");
}

bool parseScenario(const QString &text, int channels, Scenario *scenario, QString *error)
{
    Scenario result;
    int repeatLine = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QStringList tokens = tokensOf(lines.at(i));
        if (tokens.isEmpty())
            continue;
        QString why;
        const auto fail = [&] {
            *error = QStringLiteral("line %1: %2").arg(lineNo).arg(why);
            return false;
        };
        const QString verb = tokens.first().toLower();
        if (verb == QLatin1String("repeat")) {
            if (repeatLine != 0) {
                why = QStringLiteral("second 'repeat' (the first is on line %1)").arg(repeatLine);
                return fail();
            }
            const int used = parseTime(tokens, 1, &result.repeatMs, &why);
            if (used == 0)
                return fail();
            if (1 + used != tokens.size()) {
                why = QStringLiteral("unexpected '%1' after the repeat time").arg(tokens.at(1 + used));
                return fail();
            }
            if (result.repeatMs <= 0) {
                why = QStringLiteral("the repeat period must be longer than 0");
                return fail();
            }
            repeatLine = lineNo;
        } else if (verb == QLatin1String("at")) {
            ScenarioStep step;
            step.line = lineNo;
            const int used = parseTime(tokens, 1, &step.atMs, &why);
            if (used == 0 || !parseAction(tokens.mid(1 + used), channels, &step.action, &why))
                return fail();
            result.steps.push_back(step);
        } else {
            why = QStringLiteral("expected 'at <time> ...' or 'repeat <time>', got '%1'").arg(tokens.first());
            return fail();
        }
    }

    std::stable_sort(result.steps.begin(), result.steps.end(),
                     [](const ScenarioStep &a, const ScenarioStep &b) { return a.atMs < b.atMs; });
    // A step at or past the period would land in the next round, out of order
    // with that round's first steps.
    if (result.repeatMs > 0 && !result.steps.empty() && result.steps.back().atMs >= result.repeatMs) {
        const ScenarioStep &late = result.steps.back();
        *error = QStringLiteral("line %1: step at %2 s is not before the repeat period of %3 s (line %4)")
                     .arg(late.line)
                     .arg(double(late.atMs) / 1000.0)
                     .arg(double(result.repeatMs) / 1000.0)
                     .arg(repeatLine);
        return false;
    }
    *scenario = std::move(result);
    return true;
}

bool loadScenario(const QString &path, int channels, Scenario *scenario, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(kMaxScenarioBytes + 1);
    if (text.size() > kMaxScenarioBytes) {
        *error = QStringLiteral("%1: longer than %2 bytes").arg(path).arg(kMaxScenarioBytes);
        return false;
    }
    QString why;
    if (!parseScenario(QString::fromUtf8(text), channels, scenario, &why)) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

ScenarioSchedule::ScenarioSchedule(Scenario scenario)
    : m_scenario(std::move(scenario))
{
}

bool ScenarioSchedule::next(qint64 *atMs, InputAction *action, qint64 nowMs)
{
    if (m_scenario.steps.empty())
        return false;
    if (m_index == m_scenario.steps.size()) {
        const qint64 period = m_scenario.repeatMs;
        if (period <= 0)
            return false;
        m_index = 0;
        m_roundStart = std::max(m_roundStart + period, nowMs / period * period);
    }
    const ScenarioStep &step = m_scenario.steps[m_index++];
    *atMs = m_roundStart + step.atMs;
    *action = step.action;
    return true;
}

ScenarioRunner::ScenarioRunner(Scenario scenario, const QElapsedTimer &clock, QObject *parent)
    : QObject(parent)
    , m_schedule(std::move(scenario))
    , m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScenarioRunner::fire);
}

void ScenarioRunner::start()
{
    m_hasNext = m_schedule.next(&m_nextAt, &m_nextAction);
    armNext();
}

void ScenarioRunner::fire()
{
    // What is due by now goes at once, so a stalled event loop catches up
    // instead of drifting; a long backlog goes in batches.
    const qint64 now = m_clock.elapsed();
    for (int steps = 0; m_hasNext && m_nextAt <= now && steps < kStepsPerTurn; ++steps) {
        emit stepDue(m_nextAction);
        m_hasNext = m_schedule.next(&m_nextAt, &m_nextAction, now);
    }
    armNext();
}

void ScenarioRunner::armNext()
{
    if (!m_hasNext)
        return;
    m_timer.start(int(std::max<qint64>(0, m_nextAt - m_clock.elapsed())));
}

} // namespace hostsim
