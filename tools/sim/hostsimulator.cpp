#include "hostsimulator.h"

#include "simio.h"

namespace hostsim {

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
    if (m_faults.badChecksum) {
        // Off by one, and never a start byte: a stray E0 would test the
        // resync rather than the checksum.
        uint8_t wrong = uint8_t(checksum(frame) + 1);
        if (wrong == kFrameStart)
            ++wrong;
        frame[kFrameSize - 1] = char(wrong);
    }
    frame.append(m_faults.oversize, '\0');

    QByteArray garbage(m_faults.garbageBytes, '\0');
    for (char &byte : garbage)
        byte = char(m_random.bounded(256));

    if (m_faults.delayMs > 0) {
        QTimer::singleShot(m_faults.delayMs, Qt::PreciseTimer, this,
                           [this, garbage, frame] { transmit(garbage, frame); });
    } else {
        transmit(garbage, frame);
    }
}

void HostSimulator::transmit(const QByteArray &garbage, const QByteArray &frame)
{
    const bool idle = m_queue.empty();
    if (!garbage.isEmpty())
        m_queue.push_back({"tx-garbage", garbage});
    m_queue.push_back({"tx", frame});
    if (idle)
        sendNext();
}

void HostSimulator::sendNext()
{
    while (!m_queue.empty()) {
        Chunk &head = m_queue.front();
        // Traced when its first byte leaves, so the timestamp marks the start.
        if (m_sentOfHead == 0 && m_trace)
            m_trace->write(head.what, head.bytes);
        if (m_faults.byteGapMs <= 0) {
            m_line->write(head.bytes);
            m_queue.pop_front();
            continue;
        }
        m_line->write(head.bytes.mid(m_sentOfHead, 1));
        if (++m_sentOfHead == head.bytes.size()) {
            m_sentOfHead = 0;
            m_queue.pop_front();
        }
        if (!m_queue.empty())
            m_gapTimer.start(m_faults.byteGapMs);
        return;
    }
}

} // namespace hostsim
