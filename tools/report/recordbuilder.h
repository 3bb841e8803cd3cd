#pragma once

#include "record.h"
#include "traceline.h"

#include <QVarLengthArray>

#include <functional>

// Builds the commissioning record from the lines of one or more traces,
// line by line, keeping only what the record needs: a trace of a day reads
// in the memory of a few figures per point.
//
// Receptions are judged by the verdict lines the tester wrote after them;
// a trace without them (an older tester's) is judged here, frame by frame.
// A query's reply is settled when the next query is written: an echo shown
// only by the reply after it is no reply.
class RecordBuilder
{
public:
    // A decoded frame, for the frame list: sent, or a piece received with
    // the verdict on it.
    struct Frame
    {
        qint64 time = 0;
        bool sent = false;
        QByteArray bytes;
        QByteArrayView meaning;
        QByteArrayView verdict;
        int utcOffsetSeconds = 0;
    };
    using FrameSink = std::function<void(const Frame &)>;

    explicit RecordBuilder(FrameSink sink = {});

    // A file's lines follow; until its first line states the local time,
    // its clock is taken as this computer's.
    void beginFile(const QString &path);
    void add(const TraceLine &line);
    record::Record finish();

private:
    // A reply filed, or an output command written, in the order they came.
    struct Piece
    {
        qint64 time = 0;
        QByteArray bytes;
        bool command = false;
    };
    struct PendingLinkage
    {
        int input = 0;
        qint64 alarm = 0;
        uint8_t outputs = 0;
    };
    struct PendingCommand
    {
        qint64 time = 0;
        bool on = false;
        int event = -1;
    };

    qint64 wall(qint64 micros) const { return micros + m_anchor; }
    void begin(const TraceLine &line);
    void sent(qint64 time, const TraceLine &line);
    void received(qint64 time, TraceWhat verdict, const QByteArray &bytes, QByteArrayView meaning);
    // A reception no verdict line followed, judged here.
    void judgePending();
    void settleStep();
    void applyInputs(qint64 time, uint16_t bits);
    void applyOutputs(qint64 time, uint8_t bits);
    void outputCommand(qint64 time, uint8_t mask);
    void pollStart(QByteArrayView meaning);
    void linkageStart(QByteArrayView meaning);
    void stopped();
    void endLinkage();

    FrameSink m_sink;
    record::Record m_record;
    qint64 m_anchor = 0;
    qint64 m_last = 0;
    bool m_seenLine = false;

    // The query of the step under way, the replies filed and the output
    // commands written in it.
    int m_stepQuery = -1;
    qint64 m_stepTime = 0;
    QVarLengthArray<Piece, 4> m_filed;
    // The reception read last, until the line after it tells whether the
    // tester judged it.
    bool m_rxPending = false;
    bool m_testerJudges = false;
    Piece m_rx;
    QByteArray m_rxMeaning;

    uint16_t m_inputs = 0;
    uint8_t m_commanded = 0;
    uint8_t m_reported = 0;
    std::array<PendingCommand, 8> m_pendingCommand{};
    std::array<std::array<bool, 2>, 8> m_confirmed{};
    std::array<qint64, 16> m_alarmSince{};
    std::array<qint64, 8> m_onSince{};

    bool m_linkage = false;
    std::array<uint8_t, 16> m_table{};
    QList<PendingLinkage> m_pendingLinkage;

    qint64 m_lastInputQuery = 0;
    bool m_stoppedSince = false;
    std::vector<qint32> m_responseMicros;
};
