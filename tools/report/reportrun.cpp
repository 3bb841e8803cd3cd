#include "reportrun.h"

#include "csvwriter.h"
#include "htmlview.h"
#include "jsonview.h"
#include "recordbuilder.h"
#include "summaryview.h"
#include "tracereader.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

} // namespace

int ReportRun::run()
{
    CsvWriter csv;
    QString error;
    RecordBuilder::FrameSink sink;
    if (!csvPath.isEmpty()) {
        if (!csv.open(csvPath, &error)) {
            messages.append(QStringLiteral("%1: 无法写入(%2)").arg(csvPath, error));
            return 1;
        }
        sink = [&csv](const RecordBuilder::Frame &frame) { csv.write(frame); };
    }
    RecordBuilder builder(sink);
    TraceReader reader(builder);
    bool anyRead = false;
    for (const QString &trace : std::as_const(traces))
        anyRead = reader.read(trace) || anyRead;
    messages += reader.messages();
    if (!anyRead) {
        messages.append(QStringLiteral("没有可读的通讯记录"));
        if (!csvPath.isEmpty())
            csv.close(&error);
        return 2;
    }
    const record::Record record = builder.finish();

    int status = 0;
    if (!csvPath.isEmpty() && !csv.close(&error)) {
        messages.append(QStringLiteral("%1: 无法写入(%2)").arg(csvPath, error));
        status = 1;
    }
    if (!htmlPath.isEmpty()) {
        if (writeFile(htmlPath, htmlView(record), &error)) {
            writtenHtml = htmlPath;
        } else {
            messages.append(QStringLiteral("%1: 无法写入(%2)").arg(htmlPath, error));
            status = 1;
        }
    }
    if (json)
        standardOutput = jsonView(record);
    else if (summary)
        standardOutput = summaryView(record).toUtf8() + '\n';
    if (summary && !json && !writtenHtml.isEmpty())
        standardOutput += QStringLiteral("报告页面: %1\n").arg(writtenHtml).toUtf8();
    return status;
}

QString ReportRun::latestTrace()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    // Where the tester writes its traces from the menu.
    const QDir folder(data + QStringLiteral("/alarm-host-tester"));
    const QFileInfoList traces =
        folder.entryInfoList({QStringLiteral("trace-*.txt")}, QDir::Files, QDir::Time);
    return traces.isEmpty() ? QString() : traces.first().filePath();
}

QString ReportRun::pageBeside(const QString &trace)
{
    const QFileInfo info(trace);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".html"));
}
