#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// What a commissioning record holds: the walk test of every input and
// output, linkage, and the line in figures. Times are microseconds since
// the epoch (UTC), shown in the trace's own UTC offset.
namespace record {

struct Span
{
    qint64 from = 0;
    qint64 to = 0;
};

enum class InputVerdict : uint8_t { Tested, InAlarm, Untested };
enum class OutputVerdict : uint8_t { Confirmed, Unconfirmed, Untested };
enum class LineVerdict : uint8_t { Good, Unstable, Faulty };

struct InputEvent
{
    qint64 time = 0;
    bool alarm = false; // else a restore
};

struct Input
{
    int channel = 0;
    QList<InputEvent> events;
    int activations = 0;
    bool inAlarm = false;
    QList<Span> alarmSpans;
    InputVerdict verdict = InputVerdict::Untested;
};

struct OutputEvent
{
    qint64 commanded = 0;
    bool on = false;
    bool byLinkage = false;
    // The output status reply that showed it; 0 while none has.
    qint64 confirmed = 0;
};

struct Output
{
    int channel = 0;
    QList<OutputEvent> events;
    QList<Span> onSpans;
    OutputVerdict verdict = OutputVerdict::Untested;
};

struct LinkageAction
{
    int input = 0;
    qint64 alarm = 0;
    // The output command it caused; 0 when none followed.
    qint64 command = 0;
    uint8_t mask = 0;
};

enum class PortEventKind : uint8_t { Open, Close, Fail };

struct PortEvent
{
    qint64 time = 0;
    PortEventKind kind = PortEventKind::Open;
    QString text;
};

struct Gap
{
    Span span;
    // Polling was ended on purpose in between (page left, port closed).
    bool stopped = false;
};

// Indexed by the query code's place in kQueryCodes.
constexpr std::array<uint8_t, 3> kQueryCodes{0x3F, 0x3B, 0x3D};

struct QueryCount
{
    qint64 sent = 0;
    qint64 answered = 0;
    qint64 missing = 0;
};

// What a piece of a reception left out of the reply table was, in the order
// of TraceWhat's verdicts after Filed.
enum LeftOutKind : uint8_t { Echo, Stray, OtherAddress, OtherCode, BadChecksum, OtherMaster, kLeftOutKinds };

struct ResponseTimes
{
    qint64 count = 0;
    double minMs = 0;
    double medianMs = 0;
    double p95Ms = 0;
    double maxMs = 0;
};

struct Record
{
    QStringList files;
    QString version;
    // The local time was taken from the trace's first line; else it is
    // worked out from this computer's clock.
    bool clockStated = false;
    int utcOffsetSeconds = 0;
    qint64 start = 0;
    qint64 end = 0;
    int address = -1;
    int inputCount = 8;
    int periodMs = 0;

    std::vector<Input> inputs;
    std::vector<Output> outputs;
    QList<LinkageAction> linkage;

    std::array<QueryCount, 3> queries{};
    qint64 replies = 0;
    std::array<qint64, kLeftOutKinds> receptions{};
    ResponseTimes response;
    QList<PortEvent> portEvents;
    QList<Gap> gaps;
    // Marks for the timeline: queries left unanswered, bad receptions.
    QList<qint64> missingMarks;
    QList<qint64> badMarks;
    LineVerdict lineVerdict = LineVerdict::Good;
    // Unanswered and bad in parts per thousand of the queries sent.
    double faultPerMille = 0;
};

// The thresholds of the line's verdict, per thousand queries.
constexpr double kGoodAtMost = 10;
constexpr double kUnstableAtMost = 100;

} // namespace record
