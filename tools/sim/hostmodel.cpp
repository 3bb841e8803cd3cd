#include "hostmodel.h"

#include <algorithm>

namespace hostsim {

uint8_t checksum(const QByteArray &bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count && i < bytes.size(); ++i)
        sum += uint8_t(bytes.at(i));
    return uint8_t(sum & 0xFF);
}

QByteArray makeFrame(uint8_t address, uint8_t code, uint8_t b3, uint8_t b4)
{
    QByteArray frame;
    frame.reserve(kFrameSize);
    frame.append(char(kFrameStart));
    frame.append(char(address));
    frame.append(char(code));
    frame.append(char(b3));
    frame.append(char(b4));
    frame.append(char(checksum(frame)));
    return frame;
}

bool isValidFrame(const QByteArray &frame)
{
    return frame.size() == kFrameSize && uint8_t(frame.at(0)) == kFrameStart
           && uint8_t(frame.at(5)) == checksum(frame);
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

std::vector<FrameReader::Item> FrameReader::feed(const QByteArray &bytes)
{
    std::vector<Item> items;
    m_buffer.append(bytes);
    const int size = int(m_buffer.size());

    QByteArray garbage;
    auto flushGarbage = [&] {
        if (!garbage.isEmpty()) {
            items.push_back({Kind::Garbage, garbage});
            garbage.clear();
        }
    };

    int pos = 0;
    for (;;) {
        while (pos < size && uint8_t(m_buffer.at(pos)) != kFrameStart) {
            if (pos >= m_reported)
                garbage.append(m_buffer.at(pos));
            ++pos;
        }
        if (size - pos < kFrameSize)
            break;
        const QByteArray candidate = m_buffer.mid(pos, kFrameSize);
        flushGarbage();
        if (isValidFrame(candidate)) {
            items.push_back({Kind::Frame, candidate});
            pos += kFrameSize;
        } else {
            items.push_back({Kind::BadFrame, candidate});
            m_reported = std::max(m_reported, pos + kFrameSize);
            ++pos;
        }
    }
    flushGarbage();

    m_buffer.remove(0, pos);
    m_reported = std::max(0, m_reported - pos);
    return items;
}

HostModel::HostModel(int channels, uint8_t address, bool ack)
    : m_channels(channels == 16 ? 16 : 8)
    , m_address(address)
    , m_ack(ack)
{
}

bool HostModel::setInput(int number, bool alarm, QString *error)
{
    if (number < 1 || number > m_channels) {
        if (error)
            *error = QStringLiteral("input %1 does not exist on the %2-input host (1..%2)")
                         .arg(number)
                         .arg(m_channels);
        return false;
    }
    const uint16_t bit = uint16_t(1u << (number - 1));
    m_inputs = alarm ? uint16_t(m_inputs | bit) : uint16_t(m_inputs & ~bit);
    return true;
}

bool HostModel::setInputBytes(uint8_t in1, uint8_t in2, QString *error)
{
    if (m_channels == 8 && in2 != 0) {
        if (error)
            *error = QStringLiteral("the 8-input host has no inputs 9..16; the second byte must be 00");
        return false;
    }
    m_inputs = uint16_t(in1 | (in2 << 8));
    return true;
}

HostModel::Result HostModel::handle(const QByteArray &frame)
{
    Result result;
    if (uint8_t(frame.at(1)) != m_address) {
        result.disposition = Disposition::OtherAddress;
        return result;
    }
    switch (uint8_t(frame.at(2))) {
    case kInputQuery:
        result.reply = makeFrame(m_address, kInputQuery, in1(), in2());
        break;
    case kOutputQuery:
        result.reply = makeFrame(m_address, kOutputQuery, m_outputs);
        break;
    case kOutputCommand: {
        const uint8_t wanted = uint8_t(frame.at(3));
        result.outputsChanged = wanted != m_outputs;
        m_outputs = wanted;
        if (m_ack)
            result.reply = makeFrame(m_address, kOutputCommand, m_outputs);
        break;
    }
    default:
        result.disposition = Disposition::UnknownCode;
        break;
    }
    return result;
}

QString hexByte(uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString HostModel::stateLine() const
{
    return QStringLiteral("in1=%1 in2=%2 out=%3").arg(hexByte(in1()), hexByte(in2()), hexByte(m_outputs));
}

} // namespace hostsim
