#pragma once

#include "hostmodel.h"
#include "simoptions.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <deque>

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

signals:
    void outputsChanged(quint8 outputs);

private:
    struct Chunk
    {
        const char *what;
        QByteArray bytes;
    };

    void onReceived(const QByteArray &bytes);
    void reply(QByteArray frame);
    void transmit(const QByteArray &garbage, const QByteArray &frame);
    void sendNext();

    HostModel *m_model;
    SimLine *m_line;
    Trace *m_trace;
    Faults m_faults;
    FrameReader m_reader;
    QRandomGenerator m_random;
    int m_replies = 0;

    // With --byte-gap, chunks go out one byte per timer tick; a reply due
    // while another is still going out waits its turn.
    std::deque<Chunk> m_queue;
    int m_sentOfHead = 0;
    QTimer m_gapTimer;
};

} // namespace hostsim
