#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace hostsim {

constexpr uint8_t kFrameStart = 0xE0;
constexpr int kFrameSize = 6;
constexpr uint8_t kInputQuery = 0x3F;
constexpr uint8_t kOutputQuery = 0x3B;
constexpr uint8_t kOutputCommand = 0x3D;
constexpr int kMaxAddress = 15;

// Frames are built and checked here on their own, not with the tester's
// frame code: the simulator is an independent check of the tester, so a
// fault in the tester's checksum or layout shows up against it. Only the
// trace line format is shared (tracefile/traceline.h).

// Low eight bits of the sum of the first `count` bytes.
uint8_t checksum(const QByteArray &bytes, int count = kFrameSize - 1);
// E0 addr code b3 b4 sum
QByteArray makeFrame(uint8_t address, uint8_t code, uint8_t b3, uint8_t b4 = 0);
// Six bytes, starts with E0, checksum byte matches.
bool isValidFrame(const QByteArray &frame);
// "E0 00 3F 00 00 1F"
QString hexBytes(const QByteArray &bytes);
// "0A"
QString hexByte(uint8_t value);

// Cuts six-byte frames out of the received byte stream. Bytes before a start
// byte are dropped; a candidate with a wrong checksum loses only its first
// byte, so a real frame hiding inside it is still found.
class FrameReader
{
public:
    enum class Kind { Frame, BadFrame, Garbage };
    struct Item
    {
        Kind kind;
        QByteArray bytes;
    };

    std::vector<Item> feed(const QByteArray &bytes);
    // Bytes of an incomplete frame still waiting for the rest.
    int pendingBytes() const { return int(m_buffer.size()); }

private:
    QByteArray m_buffer;
    // Leading bytes of m_buffer already shown as part of a bad frame; they
    // are not reported a second time when the rescan drops them.
    int m_reported = 0;
};

// The host's state and its answers; knows nothing about lines or timing.
class HostModel
{
public:
    enum class Disposition { Handled, OtherAddress, UnknownCode };
    struct Result
    {
        Disposition disposition = Disposition::Handled;
        std::optional<QByteArray> reply;
        bool outputsChanged = false;
    };

    explicit HostModel(int channels = 8, uint8_t address = 0, bool ack = false);

    int channels() const { return m_channels; }
    uint8_t address() const { return m_address; }

    // Bit i = input i+1 in alarm.
    uint16_t inputs() const { return m_inputs; }
    uint8_t in1() const { return uint8_t(m_inputs & 0xFF); }
    uint8_t in2() const { return uint8_t(m_inputs >> 8); }
    uint8_t outputs() const { return m_outputs; }

    // Refuse inputs the model does not have rather than silently ignoring
    // them: a scenario written for the 16-input host would mislead otherwise.
    bool setInput(int number, bool alarm, QString *error = nullptr);
    bool setInputBytes(uint8_t in1, uint8_t in2, QString *error = nullptr);

    // `frame` must satisfy isValidFrame().
    Result handle(const QByteArray &frame);

    // "in1=05 in2=00 out=81"
    QString stateLine() const;

private:
    int m_channels;
    uint8_t m_address;
    bool m_ack;
    uint16_t m_inputs = 0;
    uint8_t m_outputs = 0;
};

} // namespace hostsim
