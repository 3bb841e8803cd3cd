#include "commandframe.h"

QByteArray commandFrame(uint8_t hostAddress, uint8_t code, uint8_t parameter)
{
    const uint8_t bytes[5] = {0xE0, hostAddress, code, parameter, 0x00};
    unsigned sum = 0;
    for (const uint8_t byte : bytes)
        sum += byte;
    QByteArray frame(reinterpret_cast<const char *>(bytes), 5);
    frame.append(char(sum % 256));
    return frame;
}
