#include "jsonview.h"

#include "reporttext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace record;
using namespace reporttext;

namespace {

QJsonValue timeOrNull(const Record &r, qint64 time)
{
    return time == 0 ? QJsonValue() : QJsonValue(iso(r, time));
}

QJsonValue delayOrNull(qint64 from, qint64 to)
{
    return to == 0 ? QJsonValue() : QJsonValue((to - from) / 1000.0);
}

QJsonObject session(const Record &r)
{
    return {{"start", iso(r, r.start)},
            {"end", iso(r, r.end)},
            {"address", r.address >= 0 ? QJsonValue(r.address) : QJsonValue()},
            {"inputs", r.inputCount},
            {"period_ms", r.periodMs > 0 ? QJsonValue(r.periodMs) : QJsonValue()},
            {"clock_stated", r.clockStated},
            {"version", r.version},
            {"files", QJsonArray::fromStringList(r.files)}};
}

QJsonArray inputs(const Record &r)
{
    QJsonArray list;
    for (const Input &input : r.inputs) {
        QJsonArray events;
        for (const InputEvent &event : input.events)
            events.append(
                QJsonObject{{"time", iso(r, event.time)},
                            {"event", event.alarm ? QStringLiteral("alarm") : QStringLiteral("restore")}});
        list.append(QJsonObject{{"channel", input.channel},
                                {"verdict", inputVerdictKey(input.verdict)},
                                {"activations", input.activations},
                                {"events", events}});
    }
    return list;
}

QJsonArray outputs(const Record &r)
{
    QJsonArray list;
    for (const Output &output : r.outputs) {
        QJsonArray events;
        for (const OutputEvent &event : output.events)
            events.append(
                QJsonObject{{"time", iso(r, event.commanded)},
                            {"command", event.on ? QStringLiteral("on") : QStringLiteral("off")},
                            {"by", event.byLinkage ? QStringLiteral("linkage") : QStringLiteral("manual")},
                            {"confirmed", timeOrNull(r, event.confirmed)},
                            {"delay_ms", delayOrNull(event.commanded, event.confirmed)}});
        list.append(QJsonObject{
            {"channel", output.channel}, {"verdict", outputVerdictKey(output.verdict)}, {"events", events}});
    }
    return list;
}

QJsonArray linkage(const Record &r)
{
    QJsonArray list;
    for (const LinkageAction &action : r.linkage)
        list.append(QJsonObject{{"input", action.input},
                                {"alarm", iso(r, action.alarm)},
                                {"command", timeOrNull(r, action.command)},
                                {"outputs", action.command == 0 ? QJsonValue() : QJsonValue(action.mask)},
                                {"delay_ms", delayOrNull(action.alarm, action.command)}});
    return list;
}

QJsonObject link(const Record &r)
{
    QJsonObject queries;
    for (int i = 0; i < int(kQueryCodes.size()); ++i) {
        const QueryCount &count = r.queries[size_t(i)];
        QJsonObject entry{{"sent", count.sent}};
        if (kQueryCodes[size_t(i)] != 0x3D) {
            entry.insert("answered", count.answered);
            entry.insert("missing", count.missing);
        }
        queries.insert(queryCode(i), entry);
    }
    QJsonObject receptions;
    for (int kind = 0; kind < kLeftOutKinds; ++kind)
        receptions.insert(receptionKey(kind), r.receptions[size_t(kind)]);
    QJsonValue response;
    if (r.response.count > 0)
        response = QJsonObject{{"min", r.response.minMs},
                               {"median", r.response.medianMs},
                               {"p95", r.response.p95Ms},
                               {"max", r.response.maxMs}};
    QJsonArray port;
    for (const PortEvent &event : r.portEvents)
        port.append(QJsonObject{
            {"time", iso(r, event.time)}, {"event", portEventKey(event.kind)}, {"text", event.text}});
    QJsonArray gaps;
    for (const Gap &gap : r.gaps)
        gaps.append(QJsonObject{{"from", iso(r, gap.span.from)},
                                {"to", iso(r, gap.span.to)},
                                {"seconds", (gap.span.to - gap.span.from) / 1e6},
                                {"stopped", gap.stopped}});
    return {{"queries", queries},
            {"replies", r.replies},
            {"receptions", receptions},
            {"response_ms", response},
            {"port", port},
            {"gaps", gaps},
            {"fault_per_mille", r.faultPerMille},
            {"verdict", lineVerdictKey(r.lineVerdict)}};
}

} // namespace

QByteArray jsonView(const Record &r)
{
    const QJsonObject root{{"session", session(r)},
                           {"inputs", inputs(r)},
                           {"outputs", outputs(r)},
                           {"linkage", linkage(r)},
                           {"link", link(r)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
