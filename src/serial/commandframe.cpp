#include "serial/commandframe.h"

uint8_t frameChecksum(const QByteArray &frame)
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < 5 && i < frame.size(); ++i)
        sum += uint8_t(frame[i]);
    return uint8_t(sum % 256);
}

bool checksumValid(const QByteArray &frame)
{
    return frame.size() == kFrameLength && uint8_t(frame[5]) == frameChecksum(frame);
}

QByteArray commandFrame(uint8_t hostAddress, uint8_t code, uint8_t parameter)
{
    const uint8_t bytes[5] = {0xE0, hostAddress, code, parameter, 0x00};
    QByteArray frame(reinterpret_cast<const char *>(bytes), 5);
    frame.append(char(frameChecksum(frame)));
    return frame;
}
