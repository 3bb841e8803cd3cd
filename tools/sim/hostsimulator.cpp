#include "hostsimulator.h"

#include "simio.h"

#include <algorithm>
#include <utility>

namespace hostsim {

namespace {

// Replies of a host that frames them otherwise start with this.
constexpr uint8_t kOtherFrameStart = 0xA0;
// Bytes of a split reply sent before the gap.
constexpr int kFirstHalf = 3;

} // namespace

HostSimulator::HostSimulator(HostModel *model, SimLine *line, Trace *trace, const Faults &faults,
                             QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_line(line)
    , m_trace(trace)
    , m_faults(faults)
    , m_random(faults.seed)
{
    m_gapTimer.setSingleShot(true);
    m_gapTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_gapTimer, &QTimer::timeout, this, &HostSimulator::sendNext);
    connect(m_line, &SimLine::received, this, &HostSimulator::onReceived);
}

void HostSimulator::onReceived(const QByteArray &bytes)
{
    if (m_faults.echo) {
        // The adapter's own copy, out before the host has even read the frame.
        if (m_trace)
            m_trace->write("tx-echo", bytes, QStringLiteral("adapter echo"));
        m_line->write(bytes);
    }
    for (const FrameReader::Item &item : m_reader.feed(bytes)) {
        switch (item.kind) {
        case FrameReader::Kind::Garbage:
            if (m_trace)
                m_trace->write("rx-garbage", item.bytes);
            break;
        case FrameReader::Kind::BadFrame:
            if (m_trace)
                m_trace->write("rx-bad", item.bytes);
            break;
        case FrameReader::Kind::Frame: {
            const HostModel::Result result = m_model->handle(item.bytes);
            if (m_trace) {
                const char *what = "rx";
                if (result.disposition == HostModel::Disposition::OtherAddress)
                    what = "rx-other";
                else if (result.disposition == HostModel::Disposition::UnknownCode)
                    what = "rx-bad";
                m_trace->write(what, item.bytes);
            }
            if (m_faults.otherMaster && uint8_t(item.bytes.at(2)) == kInputQuery) {
                const QByteArray command = makeFrame(m_model->address(), kOutputCommand, 0x04);
                transmit(
                    {{command,
                      {{"tx-other-master", command, QStringLiteral("another master's output command")}}}});
            }
            if (result.outputsChanged)
                emit outputsChanged(m_model->outputs());
            if (result.reply)
                reply(*result.reply);
            break;
        }
        }
    }
}

void HostSimulator::reply(QByteArray frame)
{
    if (m_faults.silent)
        return;
    ++m_replies;
    if (m_faults.dropEvery > 0 && m_replies % m_faults.dropEvery == 0) {
        if (m_trace)
            m_trace->write("tx-drop", frame);
        return;
    }
    QStringList meaning;
    if (m_faults.otherFraming) {
        frame[0] = char(kOtherFrameStart);
        frame[kFrameSize - 1] = '\0';
        meaning << QStringLiteral("framed otherwise: start byte A0, no checksum");
    } else if (m_faults.badChecksum) {
        // Off by one, and never a start byte: a stray E0 would test the
        // resync rather than the checksum.
        uint8_t wrong = uint8_t(checksum(frame) + 1);
        if (wrong == kFrameStart)
            ++wrong;
        frame[kFrameSize - 1] = char(wrong);
    }
    frame.append(m_faults.oversize, '\0');
    if (m_faults.splitGapMs > 0)
        meaning << QStringLiteral("split: %1 bytes, the rest %2 ms later")
                       .arg(kFirstHalf)
                       .arg(m_faults.splitGapMs);

    std::vector<Chunk> chunks = replyChunks(frame, meaning);
    if (m_faults.delayMs > 0) {
        QTimer::singleShot(m_faults.delayMs, Qt::PreciseTimer, this,
                           [this, chunks = std::move(chunks)] { transmit(chunks); });
    } else {
        transmit(std::move(chunks));
    }
}

std::vector<HostSimulator::Chunk> HostSimulator::replyChunks(const QByteArray &frame,
                                                             const QStringList &meaning)
{
    std::vector<Chunk> chunks;
    if (m_faults.garbageBytes > 0) {
        QByteArray garbage(m_faults.garbageBytes, '\0');
        for (char &byte : garbage)
            byte = char(m_random.bounded(256));
        chunks.push_back({garbage, {{"tx-garbage", garbage, {}}}});
    }
    Chunk head;
    if (m_faults.strayByte) {
        head.bytes.append('\0');
        head.notes.push_back({"tx-stray", head.bytes, QStringLiteral("stray byte at bus turnaround")});
    }
    const QString note = meaning.join(QLatin1String("; "));
    head.notes.push_back({"tx", frame, note});
    if (m_faults.splitGapMs > 0) {
        head.bytes += frame.left(kFirstHalf);
        head.gapAfterMs = m_faults.splitGapMs;
        chunks.push_back(head);
        const QByteArray rest = frame.mid(kFirstHalf);
        chunks.push_back({rest, {{"tx-split", rest, QStringLiteral("second half of the reply")}}});
    } else {
        head.bytes += frame;
        chunks.push_back(head);
    }
    if (m_faults.otherAddress >= 0) {
        // A sum of E0 + n + 3F + 80 is 9F..AE: FF is always wrong.
        QByteArray other = makeFrame(uint8_t(m_faults.otherAddress), kInputQuery, 0x80);
        other[kFrameSize - 1] = char(0xFF);
        chunks.push_back(
            {other,
             {{"tx-other-address", other,
               QStringLiteral("input reply from address %1, wrong checksum").arg(m_faults.otherAddress)}}});
    }
    return chunks;
}

void HostSimulator::transmit(std::vector<Chunk> chunks)
{
    const bool idle = m_queue.empty();
    for (Chunk &chunk : chunks)
        m_queue.push_back(std::move(chunk));
    if (idle)
        sendNext();
}

void HostSimulator::sendNext()
{
    while (!m_queue.empty()) {
        Chunk &head = m_queue.front();
        // Traced when its first byte leaves, so the timestamp marks the start.
        if (m_sentOfHead == 0 && m_trace) {
            for (const Note &note : head.notes)
                m_trace->write(note.what, note.bytes, note.meaning);
        }
        int gapMs = head.gapAfterMs;
        if (m_faults.byteGapMs <= 0) {
            m_line->write(head.bytes);
            m_queue.pop_front();
        } else {
            m_line->write(head.bytes.mid(m_sentOfHead, 1));
            if (++m_sentOfHead == head.bytes.size()) {
                m_sentOfHead = 0;
                m_queue.pop_front();
                gapMs = std::max(gapMs, m_faults.byteGapMs);
            } else {
                gapMs = m_faults.byteGapMs;
            }
        }
        if (gapMs > 0 && !m_queue.empty()) {
            m_gapTimer.start(gapMs);
            return;
        }
    }
}

} // namespace hostsim
