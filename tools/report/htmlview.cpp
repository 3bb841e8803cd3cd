#include "htmlview.h"

#include "reporttext.h"
#include "timeline.h"

#include <QFileInfo>
#include <QStringList>

using namespace record;
using namespace reporttext;

namespace {

const char *const kStyle = R"(
@page { size: A4; margin: 12mm; }
body { font-family: "Noto Sans CJK SC", "Noto Sans", sans-serif; font-size: 9pt; margin: 0; color: #000; }
h1 { font-size: 14pt; margin: 0 0 2mm 0; }
h2 { font-size: 11pt; margin: 4mm 0 1mm 0; }
table { border-collapse: collapse; }
th, td { border: 0.3mm solid #999; padding: 0.4mm 1.5mm; text-align: left; vertical-align: top; }
th { background: #EEE; }
.walk { display: flex; gap: 6mm; align-items: flex-start; }
.timeline { width: 100%; height: auto; }
.verdict { font-weight: bold; }
.good { color: #1B5E20; } .bad { color: #B71C1C; } .warn { color: #E65100; }
.legend span { display: inline-block; width: 3mm; height: 2mm; margin: 0 1mm 0 3mm; }
.later { break-before: page; }
.note { color: #444; }
)";

QString cell(const QString &text)
{
    return QStringLiteral("<td>") + text.toHtmlEscaped() + QStringLiteral("</td>");
}

QString row(const QStringList &cells)
{
    QString html = QStringLiteral("<tr>");
    for (const QString &text : cells)
        html += cell(text);
    return html + QStringLiteral("</tr>");
}

QString headRow(const QStringList &cells)
{
    QString html = QStringLiteral("<tr>");
    for (const QString &text : cells)
        html += QStringLiteral("<th>") + text + QStringLiteral("</th>");
    return html + QStringLiteral("</tr>");
}

// A table of events listing at most kMostRows of them; the JSON holds all.
class Table
{
public:
    static constexpr qsizetype kMostRows = 2000;

    Table(QStringList &html, const QString &heading, const QStringList &head)
        : m_html(html)
    {
        m_html.append(heading + QStringLiteral("<table>") + headRow(head));
    }
    void add(const QStringList &cells)
    {
        if (m_shown == kMostRows) {
            ++m_left;
            return;
        }
        ++m_shown;
        m_html.append(row(cells));
    }
    void close()
    {
        if (m_left > 0)
            m_html.append(
                QStringLiteral("<tr><td colspan=\"9\">另有 %1 行未列出,见 --json</td></tr>").arg(m_left));
        m_html.append(QStringLiteral("</table>"));
    }

private:
    QStringList &m_html;
    qsizetype m_shown = 0;
    qsizetype m_left = 0;
};

QString verdictClass(bool good, bool bad)
{
    return good ? QStringLiteral("good") : bad ? QStringLiteral("bad") : QStringLiteral("warn");
}

QString inputTable(const Record &r)
{
    QStringList html{QStringLiteral("<table><caption>输入</caption>"),
                     headRow({"通道", "结论", "报警次数", "首次报警", "最后恢复"})};
    for (const Input &input : r.inputs) {
        qint64 firstAlarm = 0;
        qint64 lastRestore = 0;
        for (const InputEvent &event : input.events) {
            if (event.alarm && firstAlarm == 0)
                firstAlarm = event.time;
            if (!event.alarm)
                lastRestore = event.time;
        }
        html.append(QStringLiteral("<tr><td>%1</td><td class=\"verdict %2\">%3</td><td>%4</td>%5%6</tr>")
                        .arg(input.channel)
                        .arg(verdictClass(input.verdict == InputVerdict::Tested,
                                          input.verdict == InputVerdict::Untested),
                             inputVerdict(input.verdict))
                        .arg(input.activations)
                        .arg(cell(firstAlarm ? clock(r, firstAlarm) : QString()),
                             cell(lastRestore ? clock(r, lastRestore) : QString())));
    }
    html.append(QStringLiteral("</table>"));
    return html.join(u'\n');
}

QString outputTable(const Record &r)
{
    QStringList html{QStringLiteral("<table><caption>输出</caption>"),
                     headRow({"输出", "结论", "命令次数", "确认次数", "最长确认延时"})};
    for (const Output &output : r.outputs) {
        int confirmed = 0;
        qint64 longest = -1;
        for (const OutputEvent &event : output.events) {
            if (event.confirmed == 0)
                continue;
            ++confirmed;
            longest = std::max(longest, event.confirmed - event.commanded);
        }
        html.append(
            QStringLiteral("<tr><td>%1</td><td class=\"verdict %2\">%3</td><td>%4</td><td>%5</td>%6</tr>")
                .arg(output.channel)
                .arg(verdictClass(output.verdict == OutputVerdict::Confirmed,
                                  output.verdict == OutputVerdict::Unconfirmed),
                     outputVerdict(output.verdict))
                .arg(output.events.size())
                .arg(confirmed)
                .arg(cell(longest >= 0 ? delay(0, longest) : QString())));
    }
    html.append(QStringLiteral("</table>"));
    return html.join(u'\n');
}

QString lineSection(const Record &r)
{
    QStringList html{
        QStringLiteral("<h2>线路</h2>"),
        QStringLiteral("<p>结论: <span class=\"verdict %1\">%2</span>, 故障率 %3‰。%4</p>")
            .arg(verdictClass(r.lineVerdict == LineVerdict::Good, r.lineVerdict == LineVerdict::Faulty),
                 lineVerdict(r.lineVerdict), milliseconds(r.faultPerMille), lineThresholds().toHtmlEscaped()),
        QStringLiteral("<table>"), headRow({"帧", "发出", "应答", "缺失"})};
    for (int i = 0; i < int(kQueryCodes.size()); ++i) {
        const QueryCount &count = r.queries[size_t(i)];
        const bool query = kQueryCodes[size_t(i)] != 0x3D;
        html.append(row({queryCode(i) + u' ' + queryName(i), QString::number(count.sent),
                         query ? QString::number(count.answered) : QString(),
                         query ? QString::number(count.missing) : QString()}));
    }
    html.append(QStringLiteral("</table><p>"));
    QStringList receptions{QStringLiteral("应答 %1").arg(r.replies)};
    for (int kind = 0; kind < kLeftOutKinds; ++kind)
        receptions.append(QStringLiteral("%1 %2").arg(receptionName(kind)).arg(r.receptions[size_t(kind)]));
    html.append(QStringLiteral("接收: ") + receptions.join(QStringLiteral(", ")) + QStringLiteral("<br>"));
    if (r.response.count > 0)
        html.append(
            QStringLiteral("响应时间(查询写出到应答读入): 最小 %1 ms, 中位 %2 ms, p95 %3 ms, 最大 %4 ms")
                .arg(milliseconds(r.response.minMs), milliseconds(r.response.medianMs),
                     milliseconds(r.response.p95Ms), milliseconds(r.response.maxMs)));
    html.append(QStringLiteral("</p>"));
    if (!r.portEvents.isEmpty()) {
        Table port(html, QStringLiteral("<h2>端口</h2>"), {"时间", "事件", "说明"});
        for (const PortEvent &event : r.portEvents)
            port.add({iso(r, event.time), portEventName(event.kind), event.text});
        port.close();
    }
    if (!r.gaps.isEmpty()) {
        Table gaps(html, QStringLiteral("<h2>轮询中断</h2>"), {"从", "到", "时长", "原因"});
        for (const Gap &gap : r.gaps)
            gaps.add({iso(r, gap.span.from), iso(r, gap.span.to),
                      QStringLiteral("%1 s").arg((gap.span.to - gap.span.from) / 1e6, 0, 'f', 1),
                      gap.stopped ? QStringLiteral("停止轮询(离开主机页或关闭端口)")
                                  : QStringLiteral("轮询中断(锁定或未记录的原因)")});
        gaps.close();
    }
    return html.join(u'\n');
}

QString linkageSection(const Record &r)
{
    if (r.linkage.isEmpty())
        return {};
    QStringList html;
    Table table(html, QStringLiteral("<h2>联动</h2>"), {"输入", "报警时间", "输出命令", "输出", "延时"});
    for (const LinkageAction &action : r.linkage) {
        QList<int> outputs;
        for (int i = 0; i < 8; ++i) {
            if (action.mask & (1u << i))
                outputs.append(i + 1);
        }
        table.add({QString::number(action.input), iso(r, action.alarm),
                   action.command ? iso(r, action.command) : QStringLiteral("没有输出命令"),
                   action.command ? channelList(outputs) : QString(),
                   action.command ? delay(action.alarm, action.command) : QString()});
    }
    table.close();
    return html.join(u'\n');
}

QString eventSection(const Record &r)
{
    QStringList html;
    Table inputs(html, QStringLiteral("<h2>输入事件</h2>"), {"通道", "时间", "事件"});
    for (const Input &input : r.inputs) {
        for (const InputEvent &event : input.events)
            inputs.add({QString::number(input.channel), iso(r, event.time),
                        event.alarm ? QStringLiteral("报警") : QStringLiteral("恢复")});
    }
    inputs.close();
    Table outputs(html, QStringLiteral("<h2>输出事件</h2>"),
                  {"输出", "命令时间", "命令", "来源", "确认时间", "延时"});
    for (const Output &output : r.outputs) {
        for (const OutputEvent &event : output.events)
            outputs.add({QString::number(output.channel), iso(r, event.commanded),
                         event.on ? QStringLiteral("打开") : QStringLiteral("关闭"),
                         event.byLinkage ? QStringLiteral("联动") : QStringLiteral("手动"),
                         event.confirmed ? iso(r, event.confirmed) : QStringLiteral("未确认"),
                         event.confirmed ? delay(event.commanded, event.confirmed) : QString()});
    }
    outputs.close();
    return html.join(u'\n');
}

} // namespace

QByteArray htmlView(const Record &r)
{
    QStringList files;
    for (const QString &file : r.files)
        files.append(QFileInfo(file).fileName());
    QStringList html{
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"),
        QStringLiteral("<title>调试报告 %1</title>").arg(iso(r, r.start)),
        QStringLiteral("<style>") + QString::fromLatin1(kStyle) + QStringLiteral("</style></head><body>"),
        QStringLiteral("<h1>报警主机调试报告</h1>"),
        QStringLiteral(
            "<p>%1 至 %2 · 地址 %3 · %4 路输入 · 轮询周期 %5 ms · 线路 <span class=\"verdict %6\">%7</span>")
            .arg(iso(r, r.start), iso(r, r.end),
                 r.address >= 0 ? QString::number(r.address) : QStringLiteral("?"))
            .arg(r.inputCount)
            .arg(r.periodMs > 0 ? QString::number(r.periodMs) : QStringLiteral("?"),
                 verdictClass(r.lineVerdict == LineVerdict::Good, r.lineVerdict == LineVerdict::Faulty),
                 lineVerdict(r.lineVerdict)),
        QStringLiteral("<br><span class=\"note\">记录文件 %1%2%3</span></p>")
            .arg(files.join(QStringLiteral(", ")).toHtmlEscaped(),
                 r.version.isEmpty() ? QString() : QStringLiteral(" · ") + r.version.toHtmlEscaped(),
                 r.clockStated ? QString() : QStringLiteral(" · 记录未写明时间,按本机时钟推算")),
        QStringLiteral("<h2>时间线</h2>"),
        timelineSvg(r),
        QStringLiteral("<div class=\"legend\"><span style=\"background:#FF0000\"></span>报警"
                       "<span style=\"background:#1565C0\"></span>输出打开"
                       "<span style=\"background:#9E9E9E\"></span>缺失应答"
                       "<span style=\"background:#EF6C00\"></span>坏帧"
                       "<span style=\"background:#000\"></span>端口故障</div>"),
        QStringLiteral("<h2>巡检</h2><div class=\"walk\">"),
        inputTable(r),
        outputTable(r),
        QStringLiteral("</div><div class=\"later\">"),
        linkageSection(r),
        lineSection(r),
        eventSection(r),
        QStringLiteral("</div></body></html>\n"),
    };
    return html.join(u'\n').toUtf8();
}
