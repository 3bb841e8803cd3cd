#include "recordbuilder.h"

#include <QDateTime>
#include <QDeadlineTimer>

#include <algorithm>
#include <limits>

using namespace record;

namespace {

constexpr uint8_t kFrameStart = 0xE0;
constexpr int kFrameLength = 6;
// Marks beyond these would not show apart on the timeline anyway.
constexpr qsizetype kMostMarks = 20000;

int queryIndex(uint8_t code)
{
    const auto found = std::find(kQueryCodes.begin(), kQueryCodes.end(), code);
    return found == kQueryCodes.end() ? -1 : int(found - kQueryCodes.begin());
}

bool startsFrame(const QByteArray &bytes)
{
    return bytes.size() == kFrameLength && uint8_t(bytes[0]) == kFrameStart;
}

bool checksumValid(const QByteArray &frame)
{
    unsigned sum = 0;
    for (int i = 0; i < kFrameLength - 1; ++i)
        sum += uint8_t(frame[i]);
    return uint8_t(sum) == uint8_t(frame[kFrameLength - 1]);
}

const char *verdictWord(TraceWhat verdict)
{
    switch (verdict) {
    case TraceWhat::Filed:
        return "filed";
    case TraceWhat::Echo:
        return "echo";
    case TraceWhat::OtherAddress:
        return "other-address";
    case TraceWhat::OtherCode:
        return "other-code";
    case TraceWhat::BadChecksum:
        return "bad-checksum";
    case TraceWhat::OtherMaster:
        return "other-master";
    default:
        return "stray";
    }
}

// This computer's wall clock less its monotonic one, in microseconds.
qint64 localAnchor()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000
           - QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() / 1000;
}

int intField(QByteArrayView meaning, QByteArrayView key, int otherwise)
{
    bool ok = false;
    const int value = traceField(meaning, key).toInt(&ok);
    return ok ? value : otherwise;
}

void addMark(QList<qint64> &marks, qint64 time)
{
    if (marks.size() < kMostMarks)
        marks.append(time);
}

double ms(qint32 micros)
{
    return micros / 1000.0;
}

} // namespace

RecordBuilder::RecordBuilder(FrameSink sink)
    : m_sink(std::move(sink))
{
    m_record.inputs.resize(16);
    for (int i = 0; i < 16; ++i)
        m_record.inputs[i].channel = i + 1;
    m_record.outputs.resize(8);
    for (int i = 0; i < 8; ++i)
        m_record.outputs[i].channel = i + 1;
    m_record.utcOffsetSeconds = QDateTime::currentDateTime().offsetFromUtc();
}

void RecordBuilder::beginFile(const QString &path)
{
    judgePending();
    settleStep();
    m_stoppedSince = true;
    m_record.files.append(path);
    m_anchor = localAnchor();
    m_testerJudges = false;
}

void RecordBuilder::add(const TraceLine &line)
{
    if (line.what == TraceWhat::Begin)
        begin(line);
    // A tester that writes either judges every reception itself; one it
    // holds back, waiting for the rest of a frame, gets no line yet.
    m_testerJudges = m_testerJudges || line.what == TraceWhat::Begin || isVerdict(line.what);
    const qint64 time = wall(line.micros);
    if (!m_seenLine)
        m_record.start = time;
    m_seenLine = true;
    m_last = std::max(m_last, time);
    if (isVerdict(line.what)) {
        m_rxPending = false;
        received(time, line.what, line.bytes, line.meaning);
        return;
    }
    judgePending();
    switch (line.what) {
    case TraceWhat::Tx:
        sent(time, line);
        break;
    case TraceWhat::Rx:
        m_rxPending = true;
        m_rx = {time, line.bytes};
        m_rxMeaning = line.meaning.toByteArray();
        break;
    case TraceWhat::Open:
        m_record.portEvents.append({time, PortEventKind::Open, QString::fromUtf8(line.meaning)});
        break;
    case TraceWhat::Fail:
        m_record.portEvents.append({time, PortEventKind::Fail, QString::fromUtf8(line.meaning)});
        break;
    case TraceWhat::Close:
        m_record.portEvents.append({time, PortEventKind::Close, QString::fromUtf8(line.meaning)});
        stopped();
        break;
    case TraceWhat::PollStart:
        pollStart(line.meaning);
        break;
    case TraceWhat::PollStop:
        stopped();
        break;
    case TraceWhat::LinkageStart:
        linkageStart(line.meaning);
        break;
    case TraceWhat::LinkageEnd:
        endLinkage();
        break;
    default:
        break;
    }
}

void RecordBuilder::begin(const TraceLine &line)
{
    const QDateTime local =
        QDateTime::fromString(QString::fromLatin1(traceField(line.meaning, "time")), Qt::ISODateWithMs);
    if (!local.isValid())
        return;
    m_anchor = local.toMSecsSinceEpoch() * 1000 - line.micros;
    if (!m_record.clockStated) {
        m_record.clockStated = true;
        m_record.utcOffsetSeconds = local.offsetFromUtc();
        m_record.version = QString::fromUtf8(traceField(line.meaning, "version"));
    }
}

void RecordBuilder::sent(qint64 time, const TraceLine &line)
{
    if (m_sink)
        m_sink({time, true, line.bytes, line.meaning, {}, m_record.utcOffsetSeconds});
    if (!startsFrame(line.bytes))
        return;
    const int index = queryIndex(uint8_t(line.bytes[2]));
    if (index < 0)
        return;
    ++m_record.queries[index].sent;
    if (kQueryCodes[index] == 0x3D) {
        // After the replies before it, whose outputs it may change.
        m_filed.append({time, line.bytes, true});
        return;
    }
    settleStep();
    m_stepQuery = index;
    m_stepTime = time;
    if (index != 0)
        return;
    const qint64 cycle = (m_record.periodMs > 0 ? m_record.periodMs : 50) + 60;
    const qint64 longest = std::max<qint64>(1000, 3 * cycle) * 1000;
    if (m_lastInputQuery > 0 && time - m_lastInputQuery > longest)
        m_record.gaps.append({{m_lastInputQuery, time}, m_stoppedSince});
    m_lastInputQuery = time;
    m_stoppedSince = false;
}

void RecordBuilder::received(qint64 time, TraceWhat verdict, const QByteArray &bytes, QByteArrayView meaning)
{
    if (m_sink)
        m_sink({time, false, bytes, meaning, verdictWord(verdict), m_record.utcOffsetSeconds});
    if (verdict == TraceWhat::Filed) {
        ++m_record.replies;
        m_filed.append({time, bytes});
        return;
    }
    const auto kind = LeftOutKind(int(verdict) - int(TraceWhat::Echo));
    ++m_record.receptions[kind];
    if (kind == BadChecksum || kind == Stray || kind == OtherMaster)
        addMark(m_record.badMarks, time);
    if (kind != Echo)
        return;
    // Filed when it came, shown to be an echo only by the reply after it.
    for (qsizetype i = m_filed.size() - 1; i >= 0; --i) {
        if (!m_filed[i].command && m_filed[i].bytes == bytes) {
            m_filed.remove(i);
            --m_record.replies;
            return;
        }
    }
}

void RecordBuilder::judgePending()
{
    if (!m_rxPending)
        return;
    m_rxPending = false;
    if (m_testerJudges)
        return;
    const QByteArray &bytes = m_rx.bytes;
    TraceWhat verdict = TraceWhat::Stray;
    if (startsFrame(bytes) && !checksumValid(bytes)) {
        verdict = TraceWhat::BadChecksum;
    } else if (startsFrame(bytes)) {
        const uint8_t code = uint8_t(bytes[2]);
        if (m_record.address >= 0 && uint8_t(bytes[1]) != m_record.address)
            verdict = TraceWhat::OtherAddress;
        else if (code == 0x3D || (m_stepQuery >= 0 && code == kQueryCodes[m_stepQuery]))
            verdict = TraceWhat::Filed;
        else
            verdict = TraceWhat::OtherCode;
    }
    received(m_rx.time, verdict, bytes, m_rxMeaning);
}

void RecordBuilder::settleStep()
{
    const uint8_t code = m_stepQuery >= 0 ? kQueryCodes[m_stepQuery] : 0;
    bool answered = false;
    for (const Piece &piece : std::as_const(m_filed)) {
        if (piece.command) {
            outputCommand(piece.time, uint8_t(piece.bytes[3]));
            continue;
        }
        if (m_stepQuery < 0 || piece.bytes.size() < 4 || uint8_t(piece.bytes[2]) != code)
            continue;
        if (!answered) {
            const qint64 micros =
                std::clamp<qint64>(piece.time - m_stepTime, 0, std::numeric_limits<qint32>::max());
            m_responseMicros.push_back(qint32(micros));
        }
        answered = true;
        if (code == 0x3F)
            applyInputs(piece.time, uint8_t(piece.bytes[3])
                                        | (piece.bytes.size() > 4 ? uint8_t(piece.bytes[4]) << 8 : 0));
        else
            applyOutputs(piece.time, uint8_t(piece.bytes[3]));
    }
    m_filed.clear();
    if (m_stepQuery < 0)
        return;
    QueryCount &count = m_record.queries[m_stepQuery];
    if (answered) {
        ++count.answered;
    } else {
        ++count.missing;
        addMark(m_record.missingMarks, m_stepTime);
    }
    m_stepQuery = -1;
}

void RecordBuilder::applyInputs(qint64 time, uint16_t bits)
{
    const uint16_t changed = bits ^ m_inputs;
    m_inputs = bits;
    for (int i = 0; i < 16; ++i) {
        if (!(changed & (1u << i)))
            continue;
        Input &input = m_record.inputs[i];
        const bool alarm = bits & (1u << i);
        input.events.append({time, alarm});
        if (!alarm) {
            input.alarmSpans.append({m_alarmSince[i], time});
            continue;
        }
        ++input.activations;
        m_alarmSince[i] = time;
        if (m_linkage && m_table[i] != 0)
            m_pendingLinkage.append({i + 1, time, m_table[i]});
    }
}

void RecordBuilder::applyOutputs(qint64 time, uint8_t bits)
{
    const uint8_t changed = bits ^ m_reported;
    m_reported = bits;
    for (int i = 0; i < 8; ++i) {
        const bool on = bits & (1u << i);
        if (changed & (1u << i)) {
            if (on)
                m_onSince[i] = time;
            else
                m_record.outputs[i].onSpans.append({m_onSince[i], time});
        }
        PendingCommand &pending = m_pendingCommand[i];
        if (pending.event >= 0 && pending.on == on) {
            m_record.outputs[i].events[pending.event].confirmed = time;
            m_confirmed[i][on] = true;
            pending.event = -1;
        }
    }
}

void RecordBuilder::outputCommand(qint64 time, uint8_t mask)
{
    const uint8_t changed = mask ^ m_commanded;
    m_commanded = mask;
    for (int i = 0; i < 8; ++i) {
        if (!(changed & (1u << i)))
            continue;
        const bool on = mask & (1u << i);
        QList<OutputEvent> &events = m_record.outputs[i].events;
        events.append({time, on, m_linkage, 0});
        m_pendingCommand[i] = {time, on, int(events.size() - 1)};
    }
    if (!m_linkage)
        return;
    for (qsizetype i = 0; i < m_pendingLinkage.size();) {
        const PendingLinkage &pending = m_pendingLinkage[i];
        if ((mask & pending.outputs) != pending.outputs) {
            ++i;
            continue;
        }
        m_record.linkage.append({pending.input, pending.alarm, time, mask});
        m_pendingLinkage.removeAt(i);
    }
}

void RecordBuilder::pollStart(QByteArrayView meaning)
{
    m_record.address = intField(meaning, "address", m_record.address);
    m_record.inputCount = std::max(m_record.inputCount, intField(meaning, "inputs", 8));
    m_record.periodMs = intField(meaning, "period_ms", m_record.periodMs);
}

void RecordBuilder::linkageStart(QByteArrayView meaning)
{
    // What came before belongs to the time without linkage.
    settleStep();
    m_linkage = true;
    m_table.fill(0);
    // "2:5,6;3:1": input 2 switches outputs 5 and 6, input 3 output 1.
    for (const QByteArray &link : traceField(meaning, "table").toByteArray().split(';')) {
        const QList<QByteArray> sides = link.split(':');
        const int input = sides.first().toInt();
        if (sides.size() != 2 || input < 1 || input > 16)
            continue;
        for (const QByteArray &output : sides[1].split(',')) {
            const int channel = output.toInt();
            if (channel >= 1 && channel <= 8)
                m_table[input - 1] |= uint8_t(1u << (channel - 1));
        }
    }
}

void RecordBuilder::endLinkage()
{
    // The alarms and commands of the step under way were made by linkage.
    settleStep();
    for (const PendingLinkage &pending : std::as_const(m_pendingLinkage))
        m_record.linkage.append({pending.input, pending.alarm, 0, 0});
    m_pendingLinkage.clear();
    m_linkage = false;
}

void RecordBuilder::stopped()
{
    settleStep();
    m_stoppedSince = true;
}

Record RecordBuilder::finish()
{
    judgePending();
    settleStep();
    endLinkage();
    Record &r = m_record;
    r.end = m_last;
    for (int i = 0; i < 16; ++i) {
        Input &input = r.inputs[i];
        input.inAlarm = m_inputs & (1u << i);
        if (input.inAlarm)
            input.alarmSpans.append({m_alarmSince[i], r.end});
        input.verdict = input.activations == 0 ? InputVerdict::Untested
                        : input.inAlarm        ? InputVerdict::InAlarm
                                               : InputVerdict::Tested;
        if (i >= 8 && input.activations > 0)
            r.inputCount = 16;
    }
    r.inputs.resize(size_t(r.inputCount == 16 ? 16 : 8));
    for (int i = 0; i < 8; ++i) {
        Output &output = r.outputs[i];
        if (m_reported & (1u << i))
            output.onSpans.append({m_onSince[i], r.end});
        const bool commandedOn = std::any_of(output.events.begin(), output.events.end(),
                                             [](const OutputEvent &event) { return event.on; });
        output.verdict = !commandedOn                                    ? OutputVerdict::Untested
                         : m_confirmed[i][true] && m_confirmed[i][false] ? OutputVerdict::Confirmed
                                                                         : OutputVerdict::Unconfirmed;
    }

    std::vector<qint32> &times = m_responseMicros;
    r.response.count = qint64(times.size());
    if (!times.empty()) {
        const auto at = [&times](size_t rank) {
            std::nth_element(times.begin(), times.begin() + qsizetype(rank), times.end());
            return ms(times[rank]);
        };
        const size_t n = times.size();
        r.response.minMs = ms(*std::min_element(times.begin(), times.end()));
        r.response.maxMs = ms(*std::max_element(times.begin(), times.end()));
        r.response.medianMs = at((n - 1) / 2);
        r.response.p95Ms = at((n * 95 + 99) / 100 - 1);
    }

    const qint64 sent = r.queries[0].sent + r.queries[1].sent;
    const qint64 answered = r.queries[0].answered + r.queries[1].answered;
    const qint64 faults = r.queries[0].missing + r.queries[1].missing + r.receptions[BadChecksum]
                          + r.receptions[Stray] + r.receptions[OtherMaster];
    const bool portFailed = std::any_of(r.portEvents.begin(), r.portEvents.end(), [](const PortEvent &event) {
        return event.kind == PortEventKind::Fail;
    });
    r.faultPerMille = sent > 0 ? 1000.0 * double(faults) / double(sent) : 0;
    if (answered == 0 || r.faultPerMille > kUnstableAtMost)
        r.lineVerdict = LineVerdict::Faulty;
    else if (r.faultPerMille > kGoodAtMost || portFailed)
        r.lineVerdict = LineVerdict::Unstable;
    else
        r.lineVerdict = LineVerdict::Good;
    return r;
}
