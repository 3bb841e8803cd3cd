#include "form/windowtexts.h"

namespace {
const char *const kNumerals[] = {"一", "二", "三",   "四",   "五",   "六",   "七",   "八",
                                 "九", "十", "十一", "十二", "十三", "十四", "十五", "十六"};
} // namespace

QString channelName(int channel)
{
    return QStringLiteral("通道") + QString::fromUtf8(kNumerals[channel]);
}

QString outputName(int output)
{
    return QStringLiteral("输出") + QString::fromUtf8(kNumerals[output]);
}

QString linkageConfirmCaption(const QString &channel)
{
    return channel + QStringLiteral("联动确认");
}
