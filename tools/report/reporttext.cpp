#include "reporttext.h"

#include <QDateTime>
#include <QStringList>

using namespace record;

namespace reporttext {

namespace {

QDateTime local(const Record &r, qint64 time)
{
    return QDateTime::fromMSecsSinceEpoch(time / 1000, Qt::OffsetFromUTC, r.utcOffsetSeconds);
}

} // namespace

QString iso(const Record &r, qint64 time)
{
    return local(r, time).toString(Qt::ISODateWithMs);
}

QString clock(const Record &r, qint64 time)
{
    return local(r, time).toString(QStringLiteral("HH:mm:ss"));
}

QString milliseconds(double ms)
{
    return QString::number(ms, 'f', 1);
}

QString delay(qint64 from, qint64 to)
{
    return milliseconds((to - from) / 1000.0) + QStringLiteral(" ms");
}

namespace {

// A word for people and one for machines, by the enum's value.
struct Words
{
    const char *name;
    const char *key;
};

constexpr Words kInputVerdicts[] = {{"已测试", "tested"}, {"报警未恢复", "in-alarm"}, {"未测试", "untested"}};
constexpr Words kOutputVerdicts[] = {
    {"已确认", "confirmed"}, {"未确认", "unconfirmed"}, {"未测试", "untested"}};
constexpr Words kLineVerdicts[] = {{"良好", "good"}, {"不稳定", "unstable"}, {"故障", "faulty"}};
constexpr Words kPortEvents[] = {{"打开", "open"}, {"关闭", "close"}, {"故障", "fail"}};
constexpr Words kReceptions[] = {{"回显", "echo"},
                                 {"杂散字节", "stray"},
                                 {"其他地址", "other_address"},
                                 {"其他命令码", "other_code"},
                                 {"校验错误", "bad_checksum"},
                                 {"其他主站", "other_master"}};

template <typename Enum, size_t n>
QString name(const Words (&words)[n], Enum value)
{
    return QString::fromUtf8(words[size_t(value)].name);
}

template <typename Enum, size_t n>
QString key(const Words (&words)[n], Enum value)
{
    return QString::fromLatin1(words[size_t(value)].key);
}

} // namespace

QString inputVerdict(InputVerdict verdict)
{
    return name(kInputVerdicts, verdict);
}

QString inputVerdictKey(InputVerdict verdict)
{
    return key(kInputVerdicts, verdict);
}

QString outputVerdict(OutputVerdict verdict)
{
    return name(kOutputVerdicts, verdict);
}

QString outputVerdictKey(OutputVerdict verdict)
{
    return key(kOutputVerdicts, verdict);
}

QString lineVerdict(LineVerdict verdict)
{
    return name(kLineVerdicts, verdict);
}

QString lineVerdictKey(LineVerdict verdict)
{
    return key(kLineVerdicts, verdict);
}

QString lineThresholds()
{
    return QStringLiteral("缺失应答、校验错误、杂散字节和其他主站的帧合计,按发出的查询计:"
                          "不超过 %1‰ 且端口无故障为良好;超过 %2‰ 或没有任何应答为故障;其余为不稳定。")
        .arg(kGoodAtMost)
        .arg(kUnstableAtMost);
}

QString receptionName(int kind)
{
    return name(kReceptions, kind);
}

QString receptionKey(int kind)
{
    return key(kReceptions, kind);
}

QString queryCode(int index)
{
    return QStringLiteral("%1").arg(kQueryCodes[size_t(index)], 2, 16, QLatin1Char('0')).toUpper();
}

QString queryName(int index)
{
    static const char *const kNames[] = {"输入状态查询", "输出状态查询", "输出命令"};
    return QString::fromUtf8(kNames[index]);
}

QString portEventName(PortEventKind kind)
{
    return name(kPortEvents, kind);
}

QString portEventKey(PortEventKind kind)
{
    return key(kPortEvents, kind);
}

QString channelList(const QList<int> &channels)
{
    if (channels.isEmpty())
        return QStringLiteral("无");
    QStringList numbers;
    for (const int channel : channels)
        numbers.append(QString::number(channel));
    return numbers.join(u' ');
}

} // namespace reporttext
