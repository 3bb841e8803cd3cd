#include "printline.h"
#include "reportrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

const char *const kDescription = "从测试软件的通讯记录生成调试报告:输入输出巡检、联动、线路统计和时间线。\n"
                                 "不带选项时在标准输出打印摘要,并在记录旁写同名的 .html 报告页面。\n"
                                 "退出码: 0 成功; 1 报告文件无法写入; 2 选项错误或没有可读的记录。";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("alarm-host-report"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("json"), QStringLiteral("以 JSON 在标准输出给出报告内容。")},
        {QStringLiteral("o"), QStringLiteral("报告页面写到此文件。"), QStringLiteral("FILE.html")},
        {QStringLiteral("csv"), QStringLiteral("解码后的帧写到此 CSV 文件。"), QStringLiteral("FILE")},
        {QStringLiteral("latest"), QStringLiteral("读取用户数据文件夹中最新的通讯记录。")},
    });
    parser.addPositionalArgument(QStringLiteral("trace"), QStringLiteral("测试软件的通讯记录文件。"),
                                 QStringLiteral("[trace...]"));
    if (!parser.parse(QCoreApplication::arguments())) {
        printLine(stderr, QStringLiteral("alarm-host-report: %1(见 --help)").arg(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printLine(stdout, parser.helpText());
        return 0;
    }

    ReportRun run;
    run.traces = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("latest"))) {
        const QString latest = ReportRun::latestTrace();
        if (latest.isEmpty()) {
            printLine(stderr,
                      QStringLiteral("alarm-host-report: 还没有通讯记录(用菜单中的“记录通讯”启动测试软件)"));
            return 2;
        }
        run.traces.append(latest);
    }
    if (run.traces.isEmpty()) {
        printLine(stderr, QStringLiteral("alarm-host-report: 请给出通讯记录文件或 --latest(见 --help)"));
        return 2;
    }
    run.json = parser.isSet(QStringLiteral("json"));
    run.csvPath = parser.value(QStringLiteral("csv"));
    run.htmlPath = parser.value(QStringLiteral("o"));
    run.summary = !run.json;
    if (run.htmlPath.isEmpty() && !run.json && run.csvPath.isEmpty())
        run.htmlPath = ReportRun::pageBeside(run.traces.last());

    const int status = run.run();
    for (const QString &message : std::as_const(run.messages))
        printLine(stderr, QStringLiteral("alarm-host-report: ") + message);
    std::fwrite(run.standardOutput.constData(), 1, size_t(run.standardOutput.size()), stdout);
    return status;
}
