#include "support/walktest.h"

#include <QStandardPaths>
#include <QUrl>

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

// The page of a real walk test's report in a real browser: headless
// Chromium prints it on A4, and its first page holds the timeline and the
// walk test. With ALARM_REPORT_PICTURE set, that page is kept there as a
// picture (tools/reportshot.sh, for the docs).
class TestReportBrowser : public QObject
{
    Q_OBJECT

private slots:
    void firstPageHoldsTheWalkTest();
};

void TestReportBrowser::firstPageHoldsTheWalkTest()
{
    QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium-headless-shell"));
    if (chromium.isEmpty())
        chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("no headless Chromium to print the page (package chromium-headless-shell)");
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("no pdftotext to read the printed page (package poppler-utils)");

    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace-20261208-100000.txt"));
    SimulatorProcess sim;
    runWalkTest(sim, {}, trace);
    QVERIFY(!QTest::currentTestFailed());
    const QString page = dir.filePath(QStringLiteral("report.html"));
    QVERIFY(!runReport({trace, "-o", page}).isEmpty());
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    run(chromium, {"--no-sandbox", "--disable-gpu", "--no-pdf-header-footer", "--print-to-pdf=" + pdf,
                   QUrl::fromLocalFile(page).toString()});
    QVERIFY(QFile::exists(pdf));

    QVERIFY(run(QStringLiteral("pdfinfo"), {pdf}).contains(QLatin1String("(A4)")));
    const QString first = run(QStringLiteral("pdftotext"), {"-f", "1", "-l", "1", "-layout", pdf, "-"});
    QVERIFY2(first.contains(QStringLiteral("时间线")) && first.contains(QStringLiteral("巡检")),
             qPrintable(first));
    for (int channel = 1; channel <= 8; ++channel) {
        QVERIFY(first.contains(QStringLiteral("输入 %1").arg(channel)));
        QVERIFY(first.contains(QStringLiteral("输出 %1").arg(channel)));
    }
    QCOMPARE(first.count(QStringLiteral("已测试")), 8);
    QCOMPARE(first.count(QStringLiteral("已确认")), 8);

    const QString picture = qEnvironmentVariable("ALARM_REPORT_PICTURE");
    if (!picture.isEmpty()) {
        QString stem = picture;
        stem.chop(QStringLiteral(".png").size());
        QVERIFY(run(QStringLiteral("pdftoppm"),
                    {"-f", "1", "-l", "1", "-r", "72", "-png", "-singlefile", pdf, stem})
                    .isEmpty());
        QVERIFY(QFile::exists(picture));
    }
}

QTEST_MAIN(TestReportBrowser)
#include "tst_report_browser.moc"
