#include "timeline.h"

#include "reporttext.h"

#include <QStringList>

#include <cmath>

using namespace record;

namespace {

constexpr double kLabelWidth = 40;
constexpr double kWidth = 640;
constexpr double kRowHeight = 12;
constexpr double kAxisHeight = 18;
// The lamps' alarm red.
constexpr const char *kAlarmRed = "#FF0000";
constexpr const char *kOutputOn = "#1565C0";
constexpr const char *kMissing = "#9E9E9E";
constexpr const char *kBadFrame = "#EF6C00";

// Maps times to x and leaves out what would not show apart: a span or mark
// within a tenth of a unit of the one before it joins it.
class Scale
{
public:
    Scale(qint64 from, qint64 to)
        : m_from(from)
        , m_span(std::max<qint64>(to - from, 1))
    {
    }
    double x(qint64 time) const
    {
        return kLabelWidth + (kWidth - kLabelWidth) * double(time - m_from) / double(m_span);
    }
    qint64 from() const { return m_from; }
    qint64 span() const { return m_span; }

private:
    qint64 m_from;
    qint64 m_span;
};

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

void spans(QStringList &svg, const Scale &scale, const QList<Span> &list, double y, const char *colour)
{
    double lastEnd = -1;
    double start = 0;
    const auto flush = [&] {
        if (lastEnd >= 0)
            svg.append(QStringLiteral(R"(<rect x="%1" y="%2" width="%3" height="%4" fill="%5"/>)")
                           .arg(number(start), number(y + 1), number(std::max(lastEnd - start, 0.6)),
                                number(kRowHeight - 2), QLatin1String(colour)));
    };
    for (const Span &span : list) {
        const double from = scale.x(span.from);
        const double to = scale.x(span.to);
        if (lastEnd >= 0 && from <= lastEnd + 0.1) {
            lastEnd = std::max(lastEnd, to);
            continue;
        }
        flush();
        start = from;
        lastEnd = to;
    }
    flush();
}

void marks(QStringList &svg, const Scale &scale, const QList<qint64> &times, double y, double height,
           const char *colour)
{
    double last = -1;
    for (const qint64 time : times) {
        const double x = scale.x(time);
        if (last >= 0 && x - last < 0.5)
            continue;
        last = x;
        svg.append(QStringLiteral(R"(<rect x="%1" y="%2" width="0.8" height="%3" fill="%4"/>)")
                       .arg(number(x), number(y), number(height), QLatin1String(colour)));
    }
}

void label(QStringList &svg, double y, const QString &text)
{
    svg.append(QStringLiteral(R"(<text x="2" y="%1" font-size="8">%2</text>)")
                   .arg(number(y + kRowHeight - 2), text));
}

// A tick every 1, 2, 5, 10 … seconds or minutes, about eight across; a
// span of days has a tick every so many days.
qint64 tickStep(qint64 spanMicros)
{
    static const qint64 kSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                    600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (const qint64 seconds : kSteps) {
        if (spanMicros / (seconds * 1000000) <= 8)
            return seconds * 1000000;
    }
    qint64 step = 86400LL * 1000000;
    while (spanMicros / step > 8)
        step *= 2;
    return step;
}

} // namespace

QString timelineSvg(const Record &r)
{
    const Scale scale(r.start, r.end);
    const int rows = int(r.inputs.size() + r.outputs.size()) + 1;
    const double height = rows * kRowHeight + kAxisHeight;
    QStringList svg;
    svg.append(
        QStringLiteral(
            R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 %1 %2" class="timeline" role="img" aria-label="时间线">)")
            .arg(number(kWidth), number(height)));
    double y = 0;
    const auto pointRow = [&](const QString &name, const QList<Span> &list, const char *colour) {
        // Every other row shaded, so a span is read against its label.
        if (int(y / kRowHeight) % 2 == 0)
            svg.append(QStringLiteral(R"(<rect x="0" y="%1" width="%2" height="%3" fill="#F5F5F5"/>)")
                           .arg(number(y), number(kWidth), number(kRowHeight)));
        label(svg, y, name);
        spans(svg, scale, list, y, colour);
        y += kRowHeight;
    };
    for (const Input &input : r.inputs)
        pointRow(QStringLiteral("输入 %1").arg(input.channel), input.alarmSpans, kAlarmRed);
    for (const Output &output : r.outputs)
        pointRow(QStringLiteral("输出 %1").arg(output.channel), output.onSpans, kOutputOn);
    label(svg, y, QStringLiteral("线路"));
    marks(svg, scale, r.missingMarks, y + 1, kRowHeight / 2 - 1, kMissing);
    marks(svg, scale, r.badMarks, y + kRowHeight / 2, kRowHeight / 2 - 1, kBadFrame);
    QList<qint64> failures;
    for (const PortEvent &event : r.portEvents) {
        if (event.kind == PortEventKind::Fail)
            failures.append(event.time);
    }
    marks(svg, scale, failures, 0, y + kRowHeight, "#000000");
    y += kRowHeight;

    svg.append(QStringLiteral(R"(<line x1="%1" y1="%2" x2="%3" y2="%2" stroke="#000" stroke-width="0.5"/>)")
                   .arg(number(kLabelWidth), number(y), number(kWidth)));
    const qint64 step = tickStep(scale.span());
    // Ticks on whole local seconds, minutes or hours of the step.
    const qint64 offset = qint64(r.utcOffsetSeconds) * 1000000;
    for (qint64 tick = ((r.start + offset) / step + 1) * step - offset; tick <= r.end; tick += step) {
        const double x = scale.x(tick);
        svg.append(
            QStringLiteral(R"(<line x1="%1" y1="%2" x2="%1" y2="%3" stroke="#000" stroke-width="0.5"/>)")
                .arg(number(x), number(y), number(y + 3)));
        svg.append(QStringLiteral(R"(<text x="%1" y="%2" font-size="8" text-anchor="middle">%3</text>)")
                       .arg(number(x), number(y + 11), reporttext::clock(r, tick)));
    }
    svg.append(QStringLiteral("</svg>"));
    return svg.join(u'\n');
}
