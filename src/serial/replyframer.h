#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// What a piece of the bytes read from the line turned out to be.
enum class ReceptionKind : uint8_t {
    // A well-formed answer of the polled host to a frame written in this
    // step: 0xE0, its address, the code of a frame outstanding, a good
    // checksum. It is filed.
    Reply,
    // A reception on a line that has not shown framed replies yet, filed as
    // it came, so a host that frames its replies otherwise still works.
    AsReceived,
    // The adapter's copy of a frame just written.
    Echo,
    // Bytes that belong to no frame: a glitch at bus turnaround, the start
    // of a frame whose rest never came.
    Stray,
    OtherAddress,
    // From the polled host, but no answer to a frame outstanding.
    OtherCode,
    BadChecksum,
    // An output command that this program did not write.
    OtherMaster,
};

struct Reception
{
    ReceptionKind kind = ReceptionKind::Stray;
    QByteArray bytes;
    // An echo shown only now, by the reply that followed it: it was filed
    // as a reply when it came.
    bool filedBefore = false;
};

// The word a trace line gives each kind: "filed", "echo", "stray",
// "other-address", "other-code", "bad-checksum", "other-master".
const char *receptionVerdict(ReceptionKind kind);

// Turns what the line delivers, reception by reception, into the host's
// replies. Bytes are gathered across receptions, so a reply that comes in
// pieces is whole and a stray byte ahead of one is not part of it; a frame
// is six bytes from a 0xE0, found again after any byte that starts none.
//
// Trust comes by evidence: until the polled host has answered with a
// well-formed frame, each reception is filed as it came; from the reception
// that holds such an answer on, while the port stays open, only its
// well-formed replies are. A copy of a frame just written, which is also
// what an adapter that echoes sends, is evidence only provisionally: a
// reception in its step that holds no frame start at all withdraws it.
// Echo is told from what the line does: a copy followed in the same step
// by a second answer to the same frame was the adapter's echo; once the
// line has shown that, the first copy of each frame written is dropped. A
// step runs from one query written to the next.
class ReplyFramer
{
public:
    // A port opened: nothing is known of the line behind it. The frames of
    // the step under way stay outstanding, since a reply to one may still
    // arrive on the port opened again.
    void portOpened();
    // A frame this program has written to the line.
    void written(const QByteArray &frame);
    // The bytes of one reception, in the order they came; the pieces in the
    // order they stood on the line.
    QList<Reception> read(const QByteArray &bytes);

    // For a caller that has found out by itself that the adapter echoes.
    void setEchoes(bool echoes) { m_echoes = echoes; }
    bool echoes() const { return m_echoes; }
    bool trusted() const { return m_trust == Trust::Firm; }
    // For a caller that counts only well-formed frames, whatever the line
    // has shown: receptions are taken apart into frames from now on.
    void trustFrames() { m_trust = Trust::Firm; }
    // How many queries have been written: the step under way.
    quint64 step() const { return m_steps; }

private:
    enum class Trust : uint8_t { None, Provisional, Firm };

    // Appends what the well-formed frame is to `found`, the pieces of this
    // reception so far.
    void classify(const QByteArray &frame, QList<Reception> &found);
    bool outstanding(uint8_t code) const;

    QByteArray m_buffer;
    // The frames written since the last query, the query first.
    QList<QByteArray> m_step;
    // Frames of this step whose echo has not come back yet.
    QList<QByteArray> m_echoDue;
    // A copy of a frame written, filed in this step while the line's echo
    // was unknown.
    QByteArray m_copy;
    bool m_echoes = false;
    quint64 m_steps = 0;
    Trust m_trust = Trust::None;
};
