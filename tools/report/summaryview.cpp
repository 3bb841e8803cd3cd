#include "summaryview.h"

#include "reporttext.h"

#include <QStringList>

using namespace record;
using namespace reporttext;

namespace {

template <typename Point, typename Verdict>
QString byVerdict(const std::vector<Point> &points, const QList<Verdict> &verdicts, QString (*name)(Verdict))
{
    QStringList parts;
    for (const Verdict verdict : verdicts) {
        QList<int> channels;
        for (const Point &point : points) {
            if (point.verdict == verdict)
                channels.append(point.channel);
        }
        parts.append(name(verdict) + QStringLiteral(" ") + channelList(channels));
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString summaryView(const Record &r)
{
    QStringList lines;
    lines.append(QStringLiteral("调试报告 %1 至 %2%3")
                     .arg(iso(r, r.start), iso(r, r.end),
                          r.clockStated ? QString() : QStringLiteral("(时间按本机时钟推算)")));
    lines.append(QStringLiteral("主机 地址 %1, %2 路输入, 轮询周期 %3 ms")
                     .arg(r.address >= 0 ? QString::number(r.address) : QStringLiteral("?"))
                     .arg(r.inputCount)
                     .arg(r.periodMs > 0 ? QString::number(r.periodMs) : QStringLiteral("?")));
    lines.append(QStringLiteral("输入: ")
                 + byVerdict(r.inputs,
                             QList{InputVerdict::Tested, InputVerdict::InAlarm, InputVerdict::Untested},
                             &inputVerdict));
    lines.append(
        QStringLiteral("输出: ")
        + byVerdict(r.outputs,
                    QList{OutputVerdict::Confirmed, OutputVerdict::Unconfirmed, OutputVerdict::Untested},
                    &outputVerdict));
    qsizetype caused = 0;
    for (const LinkageAction &action : r.linkage)
        caused += action.command != 0 ? 1 : 0;
    lines.append(QStringLiteral("联动: 报警 %1 次, 引起输出命令 %2 次").arg(r.linkage.size()).arg(caused));
    lines.append(QStringLiteral("线路: %1 (故障率 %2‰)")
                     .arg(lineVerdict(r.lineVerdict), milliseconds(r.faultPerMille)));
    for (int i = 0; i < int(kQueryCodes.size()); ++i) {
        const QueryCount &count = r.queries[size_t(i)];
        QString line = QStringLiteral("  %1 %2: 发出 %3").arg(queryCode(i), queryName(i)).arg(count.sent);
        if (kQueryCodes[size_t(i)] != 0x3D)
            line += QStringLiteral(", 应答 %1, 缺失 %2").arg(count.answered).arg(count.missing);
        lines.append(line);
    }
    QStringList receptions;
    for (int kind = 0; kind < kLeftOutKinds; ++kind)
        receptions.append(QStringLiteral("%1 %2").arg(receptionName(kind)).arg(r.receptions[size_t(kind)]));
    lines.append(QStringLiteral("  接收: ") + receptions.join(QStringLiteral(", ")));
    if (r.response.count > 0)
        lines.append(QStringLiteral("  响应时间 ms: 最小 %1, 中位 %2, p95 %3, 最大 %4")
                         .arg(milliseconds(r.response.minMs), milliseconds(r.response.medianMs),
                              milliseconds(r.response.p95Ms), milliseconds(r.response.maxMs)));
    std::array<int, 3> port{};
    for (const PortEvent &event : r.portEvents)
        ++port[size_t(event.kind)];
    lines.append(QStringLiteral("  端口: 打开 %1, 关闭 %2, 故障 %3; 轮询中断 %4 处")
                     .arg(port[0])
                     .arg(port[1])
                     .arg(port[2])
                     .arg(r.gaps.size()));
    lines.append(QStringLiteral("  判定: ") + lineThresholds());
    return lines.join(u'\n');
}
