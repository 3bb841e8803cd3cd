#include "reportrun.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

// The menu's "调试报告": the report of the newest trace, written beside it
// and opened in the browser. A menu entry has no terminal, so whatever
// stands in the way is said in a box.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("alarm-host-tester"));
    const QString title = QStringLiteral("调试报告");
    const QString latest = ReportRun::latestTrace();
    if (latest.isEmpty()) {
        QMessageBox::information(nullptr, title,
                                 QStringLiteral("还没有通讯记录。\n请先从菜单的“记录通讯”启动测试软件,"
                                                "调试完后再来生成报告。"));
        return 2;
    }
    ReportRun run;
    run.traces = {latest};
    run.htmlPath = ReportRun::pageBeside(latest);
    const int status = run.run();
    if (run.writtenHtml.isEmpty()) {
        QMessageBox::warning(nullptr, title, QStringLiteral("无法生成报告:\n") + run.messages.join(u'\n'));
        return status;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(run.writtenHtml))) {
        QMessageBox::information(
            nullptr, title, QStringLiteral("报告已写到 %1,\n但没有浏览器可以打开它。").arg(run.writtenHtml));
    }
    return status;
}
