// libFuzzer target of the report: each input is a trace file, read as the
// report reads one, and shown in all three views. Aborts when the record
// does not add up: every query sent is answered or missing, once.
#include "htmlview.h"
#include "jsonview.h"
#include "recordbuilder.h"
#include "summaryview.h"
#include "tracereader.h"

#include <QBuffer>
#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    RecordBuilder builder([](const RecordBuilder::Frame &frame) { (void)frame.bytes.size(); });
    TraceReader reader(builder);
    if (!reader.read(buffer, QStringLiteral("input")))
        return 0;
    const record::Record r = builder.finish();
    qint64 answered = 0;
    for (size_t i = 0; i < 2; ++i) {
        const record::QueryCount &count = r.queries[i];
        answered += count.answered;
        if (count.answered + count.missing != count.sent) {
            std::fprintf(stderr, "alarm_fuzz_report: invariant violated: query %zu sent %lld, settled %lld\n",
                         i, static_cast<long long>(count.sent),
                         static_cast<long long>(count.answered + count.missing));
            std::abort();
        }
    }
    if (r.response.count != answered || QJsonDocument::fromJson(jsonView(r)).isNull()) {
        std::fprintf(stderr, "alarm_fuzz_report: invariant violated: response times or JSON\n");
        std::abort();
    }
    (void)summaryView(r).size();
    (void)htmlView(r).size();
    return 0;
}
