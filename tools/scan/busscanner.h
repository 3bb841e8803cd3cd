#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>

class SerialComponent;

// Asks every address of a range for its input status, and each host that
// answers for its output status, one query at a time on an open line. An
// address that stays silent costs one timeout.
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

    // What is wrong with a reply to `code` sent to `address`, in words;
    // empty for a good reply.
    static QString replyFault(const QByteArray &reply, int address, uint8_t code);

signals:
    void hostFound(const BusScanner::Host &host);
    void badReply(int address, const QString &fault, const QByteArray &bytes);
    // The line failed under the scan; nothing more is asked.
    void lineFailed(const QString &description);
    void finished();

private:
    void ask(uint8_t code);
    void onComm();
    void judge();
    void nextAddress();

    SerialComponent &m_line;
    const int m_lastAddress;
    QTimer m_timeout;
    int m_address;
    uint8_t m_code = 0;
    QByteArray m_received;
    Host m_host;
};
