#pragma once

#include "hostmodel.h"
#include "simoptions.h"

#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <vector>

namespace hostsim {

class SimLine;
class Trace;

// Joins a line to the host model: cuts frames out of what arrives, lets the
// model answer, and sends the answers with the chosen faults applied.
class HostSimulator : public QObject
{
    Q_OBJECT

public:
    // `model`, `line` and `trace` (may be null) must outlive the simulator.
    HostSimulator(HostModel *model, SimLine *line, Trace *trace, const Faults &faults,
                  QObject *parent = nullptr);

    // Replies that went out or were dropped, counted for --drop-every.
    int repliesMade() const { return m_replies; }
    // The adapter's echo (--echo) from now on, or no more.
    void setEcho(bool on) { m_faults.echo = on; }

signals:
    void outputsChanged(quint8 outputs);

private:
    // A trace line of something sent.
    struct Note
    {
        const char *what;
        QByteArray bytes;
        QString meaning;
    };
    // Bytes that go out in one write, traced when the first of them leaves.
    struct Chunk
    {
        QByteArray bytes;
        std::vector<Note> notes;
        int gapAfterMs = 0; // before the next chunk
    };

    void onReceived(const QByteArray &bytes);
    void reply(QByteArray frame);
    // The reply as the line faults deliver it.
    std::vector<Chunk> replyChunks(const QByteArray &frame, const QStringList &meaning);
    void transmit(std::vector<Chunk> chunks);
    void sendNext();

    HostModel *m_model;
    SimLine *m_line;
    Trace *m_trace;
    Faults m_faults;
    FrameReader m_reader;
    QRandomGenerator m_random;
    int m_replies = 0;

    // With --byte-gap, chunks go out one byte per timer tick, with
    // --split-gap halves of a reply apart; a reply due while another is
    // still going out waits its turn.
    std::deque<Chunk> m_queue;
    int m_sentOfHead = 0;
    QTimer m_gapTimer;
};

} // namespace hostsim
