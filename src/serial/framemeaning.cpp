#include "serial/framemeaning.h"

#include "serial/commandframe.h"
#include "serial/replyframer.h"

#include <QStringList>

namespace {

QString outputsText(uint8_t mask)
{
    return mask == 0 ? QStringLiteral("all outputs off")
                     : QStringLiteral("outputs %1 on").arg(channelText(setChannels(mask, 1)));
}

QString hexByte(uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QList<int> setChannels(uint8_t byte, int first)
{
    QList<int> channels;
    for (int bit = 0; bit < 8; ++bit) {
        if (byte & (1u << bit))
            channels.append(first + bit);
    }
    return channels;
}

QString channelText(const QList<int> &channels)
{
    QStringList numbers;
    for (const int channel : channels)
        numbers.append(QString::number(channel));
    return numbers.join(u' ');
}

QString commandMeaning(const QByteArray &frame)
{
    if (frame.size() != kFrameLength || uint8_t(frame[0]) != 0xE0)
        return QStringLiteral("not a command frame");
    const QString address = QStringLiteral("address %1").arg(uint8_t(frame[1]));
    switch (uint8_t(frame[2])) {
    case InputStatusQuery:
        return QStringLiteral("input status query, ") + address;
    case OutputStatusQuery:
        return QStringLiteral("output status query, ") + address;
    case OutputCommand:
        return QStringLiteral("output command, %1, %2").arg(address, outputsText(uint8_t(frame[3])));
    default:
        return QStringLiteral("unknown command %1, %2").arg(hexByte(uint8_t(frame[2])), address);
    }
}

QString receptionMeaning(const QByteArray &bytes)
{
    if (bytes.size() < kFrameLength)
        return QStringLiteral("short reception, %1 of %2 bytes").arg(bytes.size()).arg(kFrameLength);
    if (bytes.size() > kFrameLength)
        return QStringLiteral("long reception, %1 bytes").arg(bytes.size());
    if (!checksumValid(bytes))
        return QStringLiteral("bad checksum, %1 expected").arg(hexByte(frameChecksum(bytes)));
    if (uint8_t(bytes[0]) != 0xE0)
        return QStringLiteral("no frame start");
    switch (uint8_t(bytes[2])) {
    case InputStatusQuery: {
        const QList<int> inputs = setChannels(uint8_t(bytes[3]), 1) + setChannels(uint8_t(bytes[4]), 9);
        return inputs.isEmpty() ? QStringLiteral("no input in alarm")
                                : QStringLiteral("inputs %1 in alarm").arg(channelText(inputs));
    }
    case OutputStatusQuery:
        return outputsText(uint8_t(bytes[3]));
    case OutputCommand:
        return QStringLiteral("output command answered, ") + outputsText(uint8_t(bytes[3]));
    default:
        return QStringLiteral("unknown reply %1").arg(hexByte(uint8_t(bytes[2])));
    }
}

QString verdictMeaning(const Reception &reception)
{
    const QByteArray &bytes = reception.bytes;
    switch (reception.kind) {
    case ReceptionKind::Reply:
        return receptionMeaning(bytes);
    case ReceptionKind::AsReceived:
        return QStringLiteral("as received, ") + receptionMeaning(bytes);
    case ReceptionKind::Echo:
        return reception.filedBefore ? QStringLiteral("the adapter's echo, filed before the reply showed it")
                                     : QStringLiteral("the adapter's echo of the frame written");
    case ReceptionKind::Stray:
        return QStringLiteral("%1 stray bytes").arg(bytes.size());
    case ReceptionKind::OtherAddress:
        return QStringLiteral("from address %1").arg(uint8_t(bytes[1]));
    case ReceptionKind::OtherCode:
        return QStringLiteral("code %1 answers no frame outstanding").arg(hexByte(uint8_t(bytes[2])));
    case ReceptionKind::BadChecksum:
        return QStringLiteral("bad checksum, %1 expected").arg(hexByte(frameChecksum(bytes)));
    case ReceptionKind::OtherMaster:
        return QStringLiteral("another master's ") + commandMeaning(bytes);
    }
    return {};
}
