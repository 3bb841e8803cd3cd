#include "support/frames.h"

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QByteArray lineFrame(uint8_t code, uint8_t b3, uint8_t b4, uint8_t address)
{
    const uint8_t bytes[] = {0xE0, address, code, b3, b4, uint8_t(0xE0 + address + code + b3 + b4)};
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes);
}
