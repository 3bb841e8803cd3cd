#include "serial/replyframer.h"

#include "serial/commandframe.h"
#include "tracefile/tracewords.h"

#include <algorithm>
#include <utility>

namespace {

constexpr char kFrameStart = char(0xE0);

bool isQuery(uint8_t code)
{
    return code == InputStatusQuery || code == OutputStatusQuery;
}

} // namespace

const char *receptionVerdict(ReceptionKind kind)
{
    switch (kind) {
    case ReceptionKind::Reply:
    case ReceptionKind::AsReceived:
        return traceword::kFiled;
    case ReceptionKind::Echo:
        return traceword::kEcho;
    case ReceptionKind::Stray:
        return traceword::kStray;
    case ReceptionKind::OtherAddress:
        return traceword::kOtherAddress;
    case ReceptionKind::OtherCode:
        return traceword::kOtherCode;
    case ReceptionKind::BadChecksum:
        return traceword::kBadChecksum;
    case ReceptionKind::OtherMaster:
        return traceword::kOtherMaster;
    }
    return traceword::kStray;
}

void ReplyFramer::portOpened()
{
    m_buffer.clear();
    m_echoes = false;
    m_trust = Trust::None;
}

void ReplyFramer::written(const QByteArray &frame)
{
    if (frame.size() != kFrameLength)
        return;
    if (isQuery(uint8_t(frame[2]))) {
        // A copy that nothing followed in its step was the host's own answer.
        if (m_trust == Trust::Provisional && !m_copy.isEmpty())
            m_trust = Trust::Firm;
        m_copy.clear();
        m_step.clear();
        m_echoDue.clear();
        ++m_steps;
    }
    m_step.append(frame);
    m_echoDue.append(frame);
}

QList<Reception> ReplyFramer::read(const QByteArray &bytes)
{
    if (m_trust == Trust::Provisional && !bytes.contains(kFrameStart)) {
        // Replies framed otherwise behind a copy of the query: the copy was
        // an echo and no evidence of this host's framing.
        m_trust = Trust::None;
    }
    m_buffer += bytes;

    QList<Reception> found;
    for (;;) {
        const qsizetype start = m_buffer.indexOf(kFrameStart);
        if (start < 0) {
            if (!m_buffer.isEmpty())
                found.append({ReceptionKind::Stray, m_buffer, false});
            m_buffer.clear();
            break;
        }
        if (start > 0) {
            found.append({ReceptionKind::Stray, m_buffer.left(start), false});
            m_buffer.remove(0, start);
        }
        if (m_buffer.size() < kFrameLength)
            break;
        const QByteArray frame = m_buffer.left(kFrameLength);
        if (checksumValid(frame)) {
            m_buffer.remove(0, kFrameLength);
            classify(frame, found);
            continue;
        }
        // A 0xE0 inside these six bytes may start the real frame, the first
        // one being a glitch; wait for its bytes if they are not all here.
        const qsizetype next = m_buffer.indexOf(kFrameStart, 1);
        if (next > 0 && next < kFrameLength) {
            if (m_buffer.size() < next + kFrameLength)
                break;
            if (checksumValid(m_buffer.mid(next, kFrameLength))) {
                found.append({ReceptionKind::Stray, m_buffer.left(next), false});
                m_buffer.remove(0, next);
                continue;
            }
        }
        found.append({ReceptionKind::BadChecksum, frame, false});
        m_buffer.remove(0, kFrameLength);
    }

    if (m_trust == Trust::None) {
        // The polled host has not answered in frames yet: perhaps it frames
        // its replies otherwise, so the reception is filed as it came, less
        // any echo the line is known to send.
        QList<Reception> pieces;
        QByteArray rest = bytes;
        for (const Reception &piece : std::as_const(found)) {
            if (piece.kind == ReceptionKind::Echo) {
                pieces.append(piece);
                const qsizetype at = rest.indexOf(piece.bytes);
                if (at >= 0)
                    rest.remove(at, piece.bytes.size());
            }
        }
        if (!rest.isEmpty())
            pieces.append({ReceptionKind::AsReceived, rest, false});
        return pieces;
    }
    return found;
}

void ReplyFramer::classify(const QByteArray &frame, QList<Reception> &found)
{
    const uint8_t code = uint8_t(frame[2]);
    const qsizetype copyOf = m_echoDue.indexOf(frame);
    if (m_echoes && copyOf >= 0) {
        m_echoDue.remove(0, copyOf + 1);
        found.append({ReceptionKind::Echo, frame, false});
        return;
    }
    if (m_step.isEmpty() || uint8_t(frame[1]) != uint8_t(m_step.first()[1]))
        return found.append(
            {code == OutputCommand ? ReceptionKind::OtherMaster : ReceptionKind::OtherAddress, frame, false});
    if (!outstanding(code))
        return found.append(
            {code == OutputCommand ? ReceptionKind::OtherMaster : ReceptionKind::OtherCode, frame, false});

    if (!m_copy.isEmpty() && uint8_t(m_copy[2]) == code) {
        // A second answer to the same frame: the copy before it was the
        // adapter's echo, and this one is the host's reply.
        m_echoes = true;
        m_echoDue.removeOne(m_copy);
        auto filed = std::find_if(found.rbegin(), found.rend(), [this](const Reception &piece) {
            return piece.kind == ReceptionKind::Reply && piece.bytes == m_copy;
        });
        if (filed != found.rend())
            filed->kind = ReceptionKind::Echo;
        else
            found.append({ReceptionKind::Echo, m_copy, true});
        m_copy.clear();
        m_trust = Trust::Firm;
        found.append({ReceptionKind::Reply, frame, false});
        return;
    }
    if (copyOf >= 0) {
        // The host's answer or the adapter's echo: the rest of the step tells.
        if (m_copy.isEmpty())
            m_copy = frame;
        if (m_trust == Trust::None)
            m_trust = Trust::Provisional;
    } else {
        m_trust = Trust::Firm;
    }
    found.append({ReceptionKind::Reply, frame, false});
}

bool ReplyFramer::outstanding(uint8_t code) const
{
    for (const QByteArray &frame : m_step) {
        if (uint8_t(frame[2]) == code)
            return true;
    }
    return false;
}
