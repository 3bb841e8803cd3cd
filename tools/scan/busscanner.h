#pragma once

#include "serial/portfailure.h"
#include "serial/replyframer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

class SerialComponent;

// Finds out whether the adapter echoes, then asks every address of a range
// for its input status, and each host that answers for its output status,
// one query at a time on an open line. An address that stays silent costs
// one timeout. Only a well-formed answer of the address asked counts: the
// adapter's echo, stray bytes and other frames on the bus do not.
class BusScanner : public QObject
{
    Q_OBJECT

public:
    struct Host
    {
        int address = 0;
        uint8_t in1 = 0;
        uint8_t in2 = 0;
        // Empty when the output status query got no good answer.
        std::optional<uint8_t> out;
    };

    // `line` must be open and outlive the scanner.
    BusScanner(SerialComponent &line, int firstAddress, int lastAddress, int timeoutMs,
               QObject *parent = nullptr);

    void start();

    // An input status query to address 0 whose checksum is wrong: a host
    // discards it, so what comes back within the timeout is the adapter's.
    static QByteArray echoProbe();

signals:
    // Whether the adapter gives back what is written, known before any query.
    void adapterChecked(bool echoes);
    void hostFound(const BusScanner::Host &host);
    void badReply(int address, const QString &fault, const QByteArray &bytes);
    // The line failed under the scan; nothing more is asked.
    void lineFailed(const PortFailure &failure);
    void finished();

private:
    bool send(const QByteArray &frame);
    void ask(uint8_t code);
    void onComm();
    // The step is over: its timeout ran out, or the echo check got its bytes back.
    void endStep();
    void answered(const QByteArray &reply);
    // What went wrong in a step that got no answer, in words; empty when
    // nothing but the echo came.
    QString fault() const;
    void nextAddress();

    SerialComponent &m_line;
    const int m_lastAddress;
    QTimer m_timeout;
    ReplyFramer m_framer;
    bool m_probing = false;
    bool m_echoes = false;
    int m_address;
    uint8_t m_code = 0;
    // All bytes of this step, and how many of them were the echo.
    QByteArray m_received;
    qsizetype m_echoBytes = 0;
    // The most telling piece of this step that was no answer.
    std::optional<Reception> m_wrong;
    Host m_host;
};
