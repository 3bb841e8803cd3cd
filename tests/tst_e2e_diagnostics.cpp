#include "support/e2eharness.h"
#include "support/systemfiles.h"

#include "app/desktopplatform.h"
#include "serial/commandframe.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <tuple>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Standard error of this process goes to `file` until the guard goes.
auto catchStderr(QTemporaryFile &file)
{
    file.open();
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    return qScopeGuard([saved] {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    });
}

// An environment variable set, or unset if `value` is empty, until the guard
// goes.
auto scopedEnv(const char *name, const QString &value)
{
    const bool wasSet = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value.toLocal8Bit());
    return qScopeGuard([=] { wasSet ? qputenv(name, old) : qunsetenv(name); });
}

// Files written by this process may not grow past `bytes` until the guard
// goes; a write that would fails with EFBIG instead of raising SIGXFSZ.
auto fileSizeLimit(rlim_t bytes)
{
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    return qScopeGuard([saved, handler] {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
    });
}

// COM1 opened through the real program's platform, three input queries
// written, and closed again, with the trace that ALARM_HOST_TESTER_TRACE
// asks for.
void pollThreeTimes(SimulatorProcess &sim)
{
    const qsizetype before = sim.received().size();
    DesktopPlatform platform;
    SerialComponent &line = platform.serial();
    line.setCommPort(1);
    QVERIFY(line.setSettings(QStringLiteral("9600,n,8,1")));
    QVERIFY(line.setPortOpen(true));
    for (int i = 0; i < 3; ++i)
        QVERIFY(line.output(commandFrame(0, InputStatusQuery, 0)));
    QVERIFY(waitUntil([&] { return sim.received().size() == before + 3; }, 5000));
    line.setPortOpen(false);
}

// What alarm-host-scan answered: exit code, standard output and error.
std::tuple<int, QString, QString> scan(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-scan"), arguments);
    if (!process.waitForFinished(30000))
        return {-1, {}, {}};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(),
            QString::fromLocal8Bit(process.readAllStandardError()).trimmed()};
}

} // namespace

// The wire trace of the real program's platform and the bus scanner, both
// against the simulator.
class TestE2EDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void traceFollowsTheLine_data();
    void traceFollowsTheLine();
    void traceSetting_data();
    void traceSetting();
    void traceAtTheFileSizeLimitStopsOnlyTheTrace();
    void scanFindsTheHost_data();
    void scanFindsTheHost();
    void scanWithoutHost_data();
    void scanWithoutHost();
};

void TestE2EDiagnostics::traceFollowsTheLine_data()
{
    QTest::addColumn<QStringList>("options");
    // What the trace says the receptions were, besides "filed".
    QTest::addColumn<QStringList>("verdicts");
    QTest::newRow("clean line") << QStringList() << QStringList();
    QTest::newRow("adapter echoes") << QStringList{"--echo"} << QStringList{"echo"};
    QTest::newRow("stray byte ahead of each reply") << QStringList{"--stray-byte"} << QStringList{"stray"};
    QTest::newRow("another master") << QStringList{"--other-master"} << QStringList{"other-master"};
    QTest::newRow("another address, bad checksum")
        << QStringList{"--other-address", "7"} << QStringList{"bad-checksum"};
}

void TestE2EDiagnostics::traceFollowsTheLine()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, verdicts);
    SimulatorProcess sim;
    QVERIFY(sim.start(options));
    sim.command("inputs 05 00");
    QTemporaryDir dir;
    const QString tracePath = dir.filePath(QStringLiteral("wire.txt"));
    {
        const auto trace = scopedEnv("ALARM_HOST_TESTER_TRACE", tracePath);
        // The lock file of this platform stays out of the others' way.
        const auto tmp = scopedEnv("TMPDIR", dir.path());
        DesktopPlatform platform;
        Form1 form(platform);
        form.Form_Load();
        form.ui().SSTab1->setTab(0);
        QTRY_VERIFY_WITH_TIMEOUT(sim.received().size() >= 10, 10000);
        form.ui().SSTab1->setTab(3);
        QVERIFY(!platform.serial().portOpen());
    }

    const QList<TraceLine> wire = readTrace(tracePath);
    QVERIFY(wire.size() > 10);
    // The first line ties the trace's clock to the local time and names the
    // version; polling is marked where it starts and ends.
    static const QRegularExpression begin(QStringLiteral(
        R"(^time=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d) version=alarm-host-tester-\d+\.\d+\.\d+$)"));
    QCOMPARE(wire.first().what, QStringLiteral("begin"));
    QVERIFY2(begin.match(wire.first().meaning).hasMatch(), qPrintable(wire.first().meaning));
    QCOMPARE(wire[1].what + u' ' + wire[1].meaning, QStringLiteral("open COM1 ") + sim.ptyPath());
    QCOMPARE(wire.last().what, QStringLiteral("close"));
    QList<TraceLine> sent;
    QStringList marks, filed, seen;
    for (qsizetype i = 0; i < wire.size(); ++i) {
        QVERIFY(i == 0 || wire[i].micros >= wire[i - 1].micros);
        const QString &what = wire[i].what;
        if (what == QLatin1String("tx"))
            sent.append(wire[i]);
        else if (what == QLatin1String("filed"))
            filed.append(wire[i].bytes + QStringLiteral("  ") + wire[i].meaning);
        else if (what.startsWith(QLatin1String("poll-")))
            marks.append(what + u' ' + wire[i].meaning);
        // A reply read after the next query, as on a loaded machine, answers
        // no query outstanding: a fault of timing, not of the line.
        else if (!QStringList{"rx", "open", "close", "begin", "other-code"}.contains(what)
                 && !seen.contains(what))
            seen.append(what);
    }
    QCOMPARE(marks, QStringList({"poll-start address=0 inputs=8 period_ms=50", "poll-stop "}));
    QCOMPARE(seen, verdicts);
    QCOMPARE(sent.first().meaning, QStringLiteral("output command, address 0, all outputs off"));
    QCOMPARE(sent[1].bytes + QStringLiteral("  ") + sent[1].meaning,
             QStringLiteral("E0 00 3F 00 00 1F  input status query, address 0"));
    QVERIFY(filed.contains(QStringLiteral("E0 00 3F 05 00 24  inputs 1 3 in alarm")));
    QVERIFY(filed.contains(QStringLiteral("E0 00 3B 00 00 1B  all outputs off")));

    // Every frame the tester traced reached the simulator, in order, and
    // was traced before it arrived there (both clocks are the same).
    QVERIFY(waitUntil([&] { return sim.received().size() >= sent.size(); }, 5000));
    QList<TraceLine> arrived;
    for (const TraceLine &line : sim.trace()) {
        if (line.what == QLatin1String("rx"))
            arrived.append(line);
    }
    QCOMPARE(arrived.size(), sent.size());
    for (qsizetype i = 0; i < sent.size(); ++i) {
        QCOMPARE(arrived[i].bytes, sent[i].bytes);
        QVERIFY(sent[i].micros <= arrived[i].micros);
        QVERIFY(i == 0 || sent[i].micros > sent[i - 1].micros);
    }
}

void TestE2EDiagnostics::traceSetting_data()
{
    // "%dir" is a scratch folder holding the folder "traces"; in "taken" the
    // first names of the next seconds, as if taken by another start between
    // the choice of a name and its opening; the FIFO "fifo", with a reader,
    // so that a blocking open would not hang the test; "full.txt", a file at
    // the size limit of this process; "theirs.txt", another user's, and
    // "link" to that. "%dir/data" is the user's data folder.
    QTest::addColumn<QString>("setting");
    // Why each start costs one line on standard error, if it does.
    QTest::addColumn<QString>("reason");
    // Where each start writes a file of its own, even within the same second.
    QTest::addColumn<QString>("folder");
    // Without the setting the line is not traced at all.
    QTest::newRow("no setting") << QString() << QString() << QString();
    QTest::newRow("folder") << QStringLiteral("%dir/traces") << QString() << "traces";
    QTest::newRow("missing folder") << QStringLiteral("%dir/new/traces/") << QString() << "new/traces";
    QTest::newRow("data folder") << QStringLiteral("@data") << QString() << "data/alarm-host-tester";
    QTest::newRow("names taken") << QStringLiteral("%dir/taken") << QString() << "taken";
    QTest::newRow("cannot open") << QStringLiteral("/nonexistent-dir/wire.txt") << "No such file or directory"
                                 << QString();
    QTest::newRow("a device") << QStringLiteral("/dev/full") << "not a regular file" << QString();
    QTest::newRow("a FIFO") << QStringLiteral("%dir/fifo") << "not a regular file" << QString();
    QTest::newRow("cannot write") << QStringLiteral("%dir/full.txt") << "File too large" << QString();
    QTest::newRow("a symbolic link") << QStringLiteral("%dir/link") << "a symbolic link" << QString();
    QTest::newRow("another user's file")
        << QStringLiteral("%dir/theirs.txt") << "owned by another user" << QString();
}

void TestE2EDiagnostics::traceSetting()
{
    QFETCH(QString, setting);
    QFETCH(QString, reason);
    QFETCH(QString, folder);
    SimulatorProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    setting.replace(QLatin1String("%dir"), dir.path());
    QVERIFY(QDir(dir.path()).mkdir("traces") && QDir(dir.path()).mkdir("taken"));
    for (int s = -2; s < 10; ++s) {
        const QDateTime second = QDateTime::currentDateTime().addSecs(s);
        const QString taken = second.toString(QStringLiteral("'taken/trace-'yyyyMMdd-HHmmss'.txt'"));
        QVERIFY(QFile::link(QStringLiteral("nowhere"), dir.filePath(taken)));
    }
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    QFile full(dir.filePath(QStringLiteral("full.txt")));
    QVERIFY(full.open(QIODevice::WriteOnly) && full.write(QByteArray(1000, '#')) == 1000);
    full.close();
    const QString theirs = dir.filePath(QStringLiteral("theirs.txt"));
    QVERIFY(QFile(theirs).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(theirs, dir.filePath(QStringLiteral("link"))));
    if (::chown(QFile::encodeName(theirs).constData(), 65534, 65534) != 0 && setting == theirs)
        QSKIP("only root can give a file to another user");
    if (setting == theirs)
        SKIP_ON_PLAIN_QT("see who owns a file opened");
    const auto tmp = scopedEnv("TMPDIR", dir.path());
    const auto data = scopedEnv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")));
    const auto trace = scopedEnv("ALARM_HOST_TESTER_TRACE", setting);
    QTemporaryFile errors;
    {
        const auto caught = catchStderr(errors);
        const auto limit = fileSizeLimit(1000);
        // A start that ends before it uses the line (a second copy refused)
        // leaves no file behind and costs no line.
        {
            DesktopPlatform unused;
            QCOMPARE(dynamic_cast<QtSerialComponent *>(&unused.serial()) != nullptr, setting.isEmpty());
        }
        for (int run = 0; run < 2 && !QTest::currentTestFailed(); ++run)
            pollThreeTimes(sim);
    }
    ::close(reader);
    QVERIFY(!QTest::currentTestFailed());
    errors.seek(0);
    const QStringList lines = QString::fromLocal8Bit(errors.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), reason.isEmpty() ? 0 : 2);
    for (const QString &line : lines)
        QVERIFY2(line.contains(setting) && line.contains(reason), qPrintable(line));

    const QDir traces(dir.filePath(folder), QStringLiteral("trace-*"), QDir::Name, QDir::Files);
    const QStringList files = traces.entryList();
    QCOMPARE(files.size(), folder.isEmpty() ? 0 : 2);
    static const QRegularExpression name(QStringLiteral("^trace-\\d{8}-\\d{6}(-[23])?\\.txt$"));
    for (const QString &file : files) {
        QVERIFY2(name.match(file).hasMatch(), qPrintable(file));
        QStringList what;
        for (const TraceLine &line : readTrace(traces.filePath(file)))
            what.append(line.what);
        QCOMPARE(what.join(u' '), QStringLiteral("begin open tx tx tx close"));
    }
}

// The program itself under a file size limit that its trace reaches with
// the port's first closing: the write fails with EFBIG and costs one line,
// where SIGXFSZ would have killed it. The port is named by a long link so
// that two trace lines pass a limit that the lock files stay under.
void TestE2EDiagnostics::traceAtTheFileSizeLimitStopsOnlyTheTrace()
{
    SimulatorProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString port = dir.filePath(QString(100, u'p'));
    QVERIFY(QFile::link(sim.ptyPath(), port));
    const auto com = scopedEnv("ALARM_HOST_TESTER_COM1", port);
    const auto trace = scopedEnv("ALARM_HOST_TESTER_TRACE", dir.filePath(QStringLiteral("wire.txt")));
    const auto runtime = scopedEnv("XDG_RUNTIME_DIR", dir.path());
    QProcess tester;
    tester.setChildProcessModifier([] {
        const rlimit limit{200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    tester.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-tester"));
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT((errors += tester.readAllStandardError()).contains("File too large")
                                 || tester.state() == QProcess::NotRunning,
                             10000);
    QCOMPARE(tester.state(), QProcess::Running);
    QVERIFY2(errors.contains("alarm-host-tester: cannot write trace file"), errors.constData());
    tester.kill();
    tester.waitForFinished();
}

void TestE2EDiagnostics::scanFindsTheHost_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("com"); // the port the JSON scan asks for
    QTest::newRow("clean line") << QStringList{} << false << 1;
    QTest::newRow("adapter echoes") << QStringList{"--echo"} << true << 1;
    QTest::newRow("stray byte before replies") << QStringList{"--stray-byte"} << false << 1;
    // COM1 has no device: the scan must leave it alone.
    QTest::newRow("host behind COM2") << QStringList{} << false << 2;
}

void TestE2EDiagnostics::scanFindsTheHost()
{
    QFETCH(QStringList, fault);
    QFETCH(bool, echo);
    QFETCH(int, com);
    SimulatorProcess sim;
    QVERIFY(sim.start(QStringList{"--address", "7", "--model", "16"} + fault));
    sim.command("inputs 05 01");
    {
        QtSerialComponent line;
        QVERIFY(line.setPortOpen(true));
        QVERIFY(line.output(commandFrame(7, OutputCommand, 0x81)));
        QTRY_VERIFY_WITH_TIMEOUT(sim.output().contains(QLatin1String("outputs 81")), 5000);
    }

    const auto com1 =
        scopedEnv("ALARM_HOST_TESTER_COM1", com == 1 ? sim.ptyPath() : QStringLiteral("/nonexistent/tty"));
    const auto com2 = scopedEnv("ALARM_HOST_TESTER_COM2", sim.ptyPath());
    const auto [jsonExit, json, jsonErrors] =
        scan({"--com", QString::number(com), "--json", "--timeout", "150"});
    QCOMPARE(jsonExit, 0);
    QCOMPARE(json, QStringLiteral(R"({"echo":%1,"hosts":[{"address":7,"in1":5,"in2":1,"out":129}]})")
                       .arg(echo ? "true" : "false"));
    QCOMPARE(jsonErrors, QString());

    const auto [textExit, text, textErrors] =
        scan({"--device", sim.ptyPath(), "--addresses", "6-8", "--timeout", "100"});
    QCOMPARE(textExit, 0);
    QCOMPARE(text, QStringLiteral("%1地址 7: 报警输入 1 3 9; 打开的输出 1 8")
                       .arg(echo ? QStringLiteral("适配器回显:读回的本机发送字节已剔除\n") : QString()));
    QCOMPARE(textErrors, QString());

    // The frames of the scan, leaving out what the line's faults added.
    QStringList asked;
    for (const TraceLine &line : sim.trace()) {
        if (!line.what.startsWith(QLatin1String("tx-")))
            asked.append(line.what + u' ' + line.bytes);
    }
    // The echo check's frame is discarded, as a host would.
    const QStringList scanOfOneHost{"rx-bad E0 00 3F 00 00 9F",  "rx-other E0 06 3F 00 00 25",
                                    "rx E0 07 3F 00 00 26",      "tx E0 07 3F 05 01 2C",
                                    "rx E0 07 3B 00 00 22",      "tx E0 07 3B 81 00 A3",
                                    "rx-other E0 08 3F 00 00 27"};
    QCOMPARE(asked.mid(asked.size() - scanOfOneHost.size()), scanOfOneHost);
}

void TestE2EDiagnostics::scanWithoutHost_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("silent line") << QStringList{"--silent"} << QStringList{"--com", "1"} << 1
                                 << QStringLiteral("没有主机应答");
    QTest::newRow("bad checksum") << QStringList{"--address", "3", "--bad-checksum"}
                                  << QStringList{"--com", "1", "--addresses", "2-4"} << 1
                                  << QStringLiteral("地址 3: 应答校验和错误 E0 03 3F 00 00 23\n没有主机应答");
    QTest::newRow("replies framed otherwise")
        << QStringList{"--other-framing"} << QStringList{"--com", "1", "--addresses", "0"} << 1
        << QStringLiteral("地址 0: 应答格式错误 A0 00 3F 00 00 00\n没有主机应答");
    QTest::newRow("missing device") << QStringList{} << QStringList{"--device", "/nonexistent/tty"} << 2
                                    << QStringLiteral("alarm-host-scan: /nonexistent/tty: 无效的端口号");
    // Neither may fall back to a default: address 0, or COM1 (the simulator).
    QTest::newRow("address overflow")
        << QStringList{} << QStringList{"--com", "1", "--addresses", "99999999999"} << 2
        << QStringLiteral("alarm-host-scan: --addresses 须在 0..15 之内且 A 不大于 B(见 --help)");
    QTest::newRow("empty device") << QStringList{} << QStringList{"--device", ""} << 2
                                  << QStringLiteral(
                                         "alarm-host-scan: --device 须为设备路径,不能为空(见 --help)");
}

void TestE2EDiagnostics::scanWithoutHost()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, arguments);
    SimulatorProcess sim;
    QVERIFY(sim.start(simulator));
    const auto [exitCode, out, err] = scan(arguments);
    QTEST(exitCode, "exitCode");
    QCOMPARE(out, QString());
    QTEST(err, "error");
}

QTEST_MAIN(TestE2EDiagnostics)
#include "tst_e2e_diagnostics.moc"
