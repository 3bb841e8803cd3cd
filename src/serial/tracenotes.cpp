#include "serial/tracenotes.h"

#include <QStringList>

namespace tracenote {

QString pollStart(int address, int inputs, int periodMs)
{
    return QStringLiteral("address=%1 inputs=%2 period_ms=%3").arg(address).arg(inputs).arg(periodMs);
}

QString linkageStart(int filterMs, int resetMs, const std::array<std::array<int16_t, 8>, 16> &table)
{
    QStringList links;
    for (size_t input = 0; input < table.size(); ++input) {
        QStringList outputs;
        for (size_t output = 0; output < table[input].size(); ++output) {
            if (table[input][output] != 0)
                outputs.append(QString::number(output + 1));
        }
        if (!outputs.isEmpty())
            links.append(QStringLiteral("%1:%2").arg(input + 1).arg(outputs.join(u',')));
    }
    return QStringLiteral("filter_ms=%1 reset_ms=%2 table=%3")
        .arg(filterMs)
        .arg(resetMs)
        .arg(links.join(u';'));
}

} // namespace tracenote
