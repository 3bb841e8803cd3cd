#include "support/e2eharness.h"

#include "platform/lamp.h"
#include "serial/portmap.h"
#include "serial/tracingserialcomponent.h"
#include "serial/wiretrace.h"

#include <QApplication>
#include <QDir>
#include <QHelpEvent>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The technician's road on real drivers: run inside the bench machine
// (tests/drivers/bench.py), whose ttyS0 is a 16550 and whose ttyUSB0 is an FTDI
// adapter, each wired to a host simulator outside the machine. What the
// simulators saw is read from their traces in the shared work directory;
// commands to them go out over the second virtio console.

namespace {

const QString kTryAgain = QStringLiteral(",请检查或更换端口重新操作");
// This binary, run as "driver-scenarios --as-user COM ADDRESS PAGE" under
// another user, opens a host page and prints what happened.
const char kAsUserMode[] = "--as-user";

QString benchPath(const QString &name)
{
    return qEnvironmentVariable("BENCH_DIR") + u'/' + name;
}

// The guest's end of the control channel to the bench.
bool askBench(const QByteArray &request)
{
    static const int fd = [] {
        const int opened = ::open("/dev/hvc1", O_RDWR | O_NOCTTY);
        termios raw{};
        if (opened >= 0 && ::tcgetattr(opened, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(opened, TCSANOW, &raw);
        }
        return opened;
    }();
    const QByteArray line = request + '\n';
    if (fd < 0 || ::write(fd, line.constData(), size_t(line.size())) != line.size())
        return false;
    QByteArray reply;
    QDeadlineTimer deadline(10000);
    while (!reply.endsWith('\n') && !deadline.hasExpired()) {
        pollfd ready{fd, POLLIN, 0};
        char byte = 0;
        if (::poll(&ready, 1, int(deadline.remainingTime())) == 1 && ::read(fd, &byte, 1) == 1)
            reply.append(byte);
    }
    return reply == "ok\n";
}

// One of the two lines of the bench and the simulator at its far end.
struct BenchLine
{
    QString name;
    int16_t com = 0;
    int address = 0;
    int page = 0; // the host page that polls it
    QString device;

    bool command(const QByteArray &text) const { return askBench(name.toLatin1() + ' ' + text); }
    QList<TraceLine> trace() const { return readTrace(benchPath(name + QStringLiteral(".trace"))); }
    QString output() const
    {
        QFile file(benchPath(name + QStringLiteral(".out")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    // The frames the simulator took in as its own, from trace line `from` on.
    QStringList received(qsizetype from = 0) const
    {
        QStringList frames;
        const QList<TraceLine> lines = trace();
        for (qsizetype i = from; i < lines.size(); ++i) {
            if (lines[i].what == QLatin1String("rx"))
                frames.append(lines[i].bytes);
        }
        return frames;
    }

    // A frame the tester sends this host: a query with parameter 0 or an
    // output command, with its checksum.
    bool isTesterFrame(const QString &hex) const
    {
        const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
        if (bytes.size() != 6 || uint8_t(bytes[0]) != 0xE0 || bytes[1] != address || bytes[4] != 0)
            return false;
        const uint8_t code = uint8_t(bytes[2]);
        if (code != 0x3D && (bytes[3] != 0 || (code != 0x3F && code != 0x3B)))
            return false;
        uint8_t sum = 0;
        for (int i = 0; i < 5; ++i)
            sum = uint8_t(sum + uint8_t(bytes[i]));
        return sum == uint8_t(bytes[5]);
    }

    QStringList unexpectedFrames(qsizetype from = 0) const
    {
        QStringList found;
        const QList<TraceLine> lines = trace();
        for (qsizetype i = from; i < lines.size(); ++i) {
            const TraceLine &line = lines[i];
            if (line.what.startsWith(QLatin1String("rx"))
                && (line.what != QLatin1String("rx") || !isTesterFrame(line.bytes)))
                found.append(line.what + u' ' + line.bytes);
        }
        return found;
    }

    QString frame(uint8_t code, uint8_t parameter) const
    {
        const uint8_t bytes[] = {0xE0, uint8_t(address), code, parameter, 0};
        uint8_t sum = 0;
        for (const uint8_t byte : bytes)
            sum = uint8_t(sum + byte);
        return QStringLiteral("E0 %1 %2 %3 00 %4")
            .arg(address, 2, 16, QLatin1Char('0'))
            .arg(code, 2, 16, QLatin1Char('0'))
            .arg(parameter, 2, 16, QLatin1Char('0'))
            .arg(sum, 2, 16, QLatin1Char('0'))
            .toUpper();
    }
};

const BenchLine kUart{QStringLiteral("uart"), 1, 1, 0, QStringLiteral("/dev/ttyS0")};
const BenchLine kUsb{QStringLiteral("usb"), 2, 2, 1, QStringLiteral("/dev/ttyUSB0")};

// The window's platform of the end-to-end tests with the wire trace of the
// real program, so the bench can tell the driver's timing.
class BenchPlatform : public E2EPlatform
{
public:
    explicit BenchPlatform(const QString &traceName)
        : trace(benchPath(QStringLiteral("wire-%1.txt").arg(traceName)))
        , traced(port, trace)
    {
    }
    SerialComponent &serial() override { return traced; }

    WireTrace trace;
    TracingSerialComponent traced;
};

// Points the window at a line as the operator does on the parameter page.
void chooseLine(Form1 &form, const BenchLine &line)
{
    form.ui().Combo1->choose(line.com - 1);
    form.ui().Combo2->choose(line.address);
}

QString udevProperty(const QString &device, const QString &name)
{
    QProcess udevadm;
    udevadm.start(QStringLiteral("udevadm"), {"info", "-q", "property", "-n", device});
    udevadm.waitForFinished(10000);
    for (const QString &line : QString::fromLocal8Bit(udevadm.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(name + u'='))
            return line.mid(name.size() + 1);
    }
    return {};
}

void udevSettle()
{
    QProcess::execute(QStringLiteral("udevadm"), {"settle", "--timeout=20"});
}

// The USB device directory of the adapter behind ttyUSB0, "…/usb1/1-1".
QString adapterDirectory()
{
    return QDir(QStringLiteral("/sys/class/tty/ttyUSB0/device/../..")).canonicalPath();
}

bool writeSysfs(const QString &path, const QByteArray &value)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(value) == value.size();
}

// Devices this process still holds open.
QStringList openDevices()
{
    QStringList devices;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        devices.append(QFile::symLinkTarget(fds.filePath(fd)));
    return devices.filter(QStringLiteral("/dev/tty"));
}

// The line settings the driver holds for an open port, as "9600 8N1".
QString driverLineSettings(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios t{};
    const bool ok = fd >= 0 && ::tcgetattr(fd, &t) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        return QStringLiteral("unreadable");
    const speed_t speed = ::cfgetospeed(&t);
    const int bits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 0;
    return QStringLiteral("%1 %2%3%4%5")
        .arg(speed == B9600 ? QStringLiteral("9600") : QStringLiteral("speed#%1").arg(speed))
        .arg(bits)
        .arg(QChar(t.c_cflag & PARENB ? (t.c_cflag & PARODD ? u'O' : u'E') : u'N'))
        .arg(t.c_cflag & CSTOPB ? 2 : 1)
        .arg(t.c_cflag & CRTSCTS ? QStringLiteral(" rtscts") : QString());
}

bool setLowLatency(const QString &device, bool on)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    serial_struct serial{};
    bool ok = fd >= 0 && ::ioctl(fd, TIOCGSERIAL, &serial) == 0;
    serial.flags = on ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
    ok = ok && ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed() : QString();
}

// The command codes of frames, "3F 3B 3D ...".
QStringList codes(const QStringList &frames)
{
    QStringList found;
    for (const QString &frame : frames)
        found.append(frame.mid(6, 2));
    return found;
}

// The other half of the ordinary-user case, in the unprivileged child.
int openHostPageAsThisUser(const QStringList &arguments)
{
    const BenchLine line{QString(), int16_t(arguments.value(0).toInt()), arguments.value(1).toInt(),
                         arguments.value(2).toInt(), QString()};
    E2EPlatform platform;
    int receptions = 0;
    {
        Form1 form(platform);
        QObject::connect(&platform.port, &SerialComponent::OnComm, [&receptions] { ++receptions; });
        form.Form_Load();
        platform.boxes.clear();
        chooseLine(form, line);
        form.ui().SSTab1->setTab(line.page);
        waitUntil([&] { return receptions >= 6 || !platform.port.portOpen(); }, 15000);
        QTextStream out(stdout);
        for (const QString &text : platform.boxes.texts())
            out << "box " << text << '\n';
        out << "open " << int(platform.port.portOpen()) << '\n';
        out << "receptions " << (receptions >= 6 ? "6+" : QByteArray::number(receptions)) << '\n';
    }
    return 0;
}

} // namespace

class TestDriverScenarios : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(QFile::exists(kUsb.device)); }

    void comNumbersOnRealDrivers();
    void pollingThroughTheDriver_data();
    void pollingThroughTheDriver();
    void scanFindsTheHostBehindTheAdapter();
    void ordinaryUser_data();
    void ordinaryUser();
    void adapterUnplugged_data();
    void adapterUnplugged();
    void stuckLineLetsThePageGo();
};

#define VERIFY_CLEAN_FRAMES(line, from) \
    do { \
        const QStringList unexpected = (line).unexpectedFrames(from); \
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(u'\n'))); \
    } while (false)

// COM1 is the PC's own port, COM2 the adapter; the ttyS1..ttyS3 nodes with
// no UART behind them count for nothing, so COM3 onwards are invalid.
void TestDriverScenarios::comNumbersOnRealDrivers()
{
    for (const char *placeholder : {"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"})
        QVERIFY2(QFile::exists(placeholder), placeholder);
    QCOMPARE(deviceForPort(1), kUart.device);
    QCOMPARE(deviceForPort(2), kUsb.device);
    QCOMPARE(deviceForPort(3), QString());

    BenchPlatform platform(QStringLiteral("comnumbers"));
    Form1 form(platform);
    form.Form_Load();
    QCOMPARE(platform.boxes.texts(), QStringList());

    ComboBox &list = *form.ui().Combo1;
    QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), list.mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(&list, &hover);
    const QStringList lines = list.toolTip().split(u'\n');
    QCOMPARE(lines.size(), 8);
    QVERIFY2(lines[0] == QLatin1String("COM1 = /dev/ttyS0")
                 || lines[0].startsWith(QLatin1String("COM1 = /dev/ttyS0(")),
             qPrintable(lines[0]));
    const QString model = udevProperty(kUsb.device, QStringLiteral("ID_MODEL")).replace(u'_', u' ');
    const QString vendor = udevProperty(kUsb.device, QStringLiteral("ID_VENDOR")).replace(u'_', u' ');
    const QString serial = udevProperty(kUsb.device, QStringLiteral("ID_SERIAL_SHORT"));
    QVERIFY(!model.isEmpty() && !vendor.isEmpty() && !serial.isEmpty());
    QCOMPARE(lines[1], QStringLiteral("COM2 = /dev/ttyUSB0(%1,%2,序列号%3)").arg(model, vendor, serial));
    qInfo("%s", qPrintable(lines.mid(0, 3).join(QStringLiteral(" | "))));
    QCOMPARE(lines[2], QStringLiteral("COM3 = 无设备"));

    // Choosing COM3 reports it invalid and the retry walks on to COM8,
    // then back round to COM1, which opens.
    list.choose(2);
    QCOMPARE(platform.boxes.texts(), QStringList{"无效的com3端口" + kTryAgain});
    QTRY_COMPARE_WITH_TIMEOUT(list.text(), QStringLiteral("COM1"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!form.context().Timer7->isCounting(), 5000);
    QStringList expected;
    for (int n = 3; n <= 8; ++n)
        expected.append(QStringLiteral("无效的com%1端口").arg(n) + kTryAgain);
    QCOMPARE(platform.boxes.texts(), expected);
    QCOMPARE(platform.endCount, 0);
}

void TestDriverScenarios::pollingThroughTheDriver_data()
{
    QTest::addColumn<bool>("adapter");
    // The line gives back what the tester writes, as a 2-wire adapter does.
    QTest::addColumn<bool>("echo");
    QTest::newRow("8250 UART, COM1") << false << false;
    QTest::newRow("ftdi_sio adapter, COM2") << true << false;
    QTest::newRow("8250 UART, COM1, the line echoes") << false << true;
}

void TestDriverScenarios::pollingThroughTheDriver()
{
    QFETCH(bool, adapter);
    QFETCH(bool, echo);
    const BenchLine &line = adapter ? kUsb : kUart;
    QVERIFY(line.command("inputs 00 00"));
    QVERIFY(line.command(echo ? "echo on" : "echo off"));
    const auto echoOff = qScopeGuard([&] { line.command("echo off"); });
    const qsizetype from = line.trace().size();
    // Kept apart from the clean line's figures.
    const QString traceName = echo ? line.name + QStringLiteral("-echo") : line.name;
    BenchPlatform platform(traceName);
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    form.Form_Load();
    chooseLine(form, line);
    // ftdi_sio starts in low-latency mode; taken out of it, the driver
    // leaves the chip's own latency timer (16 ms on an FT232R) in effect.
    const QString latencyTimer = QStringLiteral("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer");
    if (adapter) {
        QVERIFY(setLowLatency(line.device, false));
        QVERIFY(readText(latencyTimer) != QLatin1String("1"));
    }
    ui.SSTab1->setTab(line.page);
    QVERIFY(platform.port.portOpen());
    QCOMPARE(driverLineSettings(line.device), QStringLiteral("9600 8N1"));
    if (adapter)
        QCOMPARE(readText(latencyTimer), QStringLiteral("1"));

    // All outputs off, then input query, output query, output command.
    QVERIFY(waitUntil([&] { return line.received(from).size() >= 13; }, 20000, 100));
    const QStringList first = line.received(from).mid(0, 13);
    QCOMPARE(first.first(), line.frame(0x3D, 0x00));
    QStringList cycles;
    for (int i = 0; i < 4; ++i)
        cycles << "3F"
               << "3B"
               << "3D";
    QCOMPARE(codes(first.mid(1)), cycles);

    const auto lamps = [&](int channel) { return line.page == 0 ? ui.Shape1[channel] : ui.Shape3[channel]; };
    QVERIFY(line.command("inputs 05 00"));
    QTRY_COMPARE_WITH_TIMEOUT(lamps(2)->fillColor(), kStatusRed, 10000);
    QCOMPARE(lamps(0)->fillColor(), kStatusRed);
    QCOMPARE(lamps(1)->fillColor(), kLampGrey);
    QVERIFY(line.command("inputs 00 00"));
    QTRY_COMPARE_WITH_TIMEOUT(lamps(2)->fillColor(), kLampGrey, 10000);

    (line.page == 0 ? ui.Check1[4] : ui.Check5[4])->click();
    QTRY_VERIFY_WITH_TIMEOUT(line.received(from).contains(line.frame(0x3D, 0x10)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(line.output().contains(QLatin1String("outputs 10")), 5000);
    // Twenty cycles more for the timing figures.
    const qsizetype sent = line.received(from).size();
    QVERIFY(waitUntil([&] { return line.received(from).size() >= sent + 60; }, 30000, 200));

    ui.SSTab1->setTab(3);
    QVERIFY(!platform.port.portOpen());
    QCOMPARE(platform.boxes.texts(), QStringList());
    VERIFY_CLEAN_FRAMES(line, from);
    VERIFY_CLEAN_FRAMES(adapter ? kUart : kUsb, 0);
    // The echo came back through the driver and was told for what it was.
    const QList<TraceLine> wire = readTrace(benchPath(QStringLiteral("wire-%1.txt").arg(traceName)));
    QCOMPARE(std::any_of(wire.cbegin(), wire.cend(), [](const TraceLine &l) { return l.what == "echo"; }),
             echo);
}

void TestDriverScenarios::scanFindsTheHostBehindTheAdapter()
{
    QVERIFY(kUsb.command("inputs 05 01"));
    QVERIFY(kUsb.command("state"));
    QTRY_VERIFY_WITH_TIMEOUT(kUsb.output().contains(QLatin1String("in1=05 in2=01")), 5000);
    const QString state = kUsb.output().split(u'\n', Qt::SkipEmptyParts).filter("in1=").last();
    const int out = state.mid(state.indexOf(QLatin1String("out=")) + 4, 2).toInt(nullptr, 16);
    const qsizetype uartBefore = kUart.trace().size();

    QProcess scan;
    scan.start(QStringLiteral(ALARM_BIN_DIR "/alarm-host-scan"), {"--com", "2", "--json"});
    QVERIFY(scan.waitForFinished(30000));
    QCOMPARE(scan.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(scan.readAllStandardOutput()).trimmed(),
             QStringLiteral(R"({"echo":false,"hosts":[{"address":2,"in1":5,"in2":1,"out":%1}]})").arg(out));
    QCOMPARE(kUart.trace().size(), uartBefore);
    QVERIFY(kUsb.command("inputs 00 00"));
}

void TestDriverScenarios::ordinaryUser_data()
{
    QTest::addColumn<bool>("dialout");
    QTest::newRow("not in dialout") << false;
    QTest::newRow("in dialout") << true;
}

void TestDriverScenarios::ordinaryUser()
{
    QFETCH(bool, dialout);
    const group *dialoutGroup = ::getgrnam("dialout");
    QVERIFY(dialoutGroup);
    const qsizetype from = kUsb.trace().size();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    QStringList arguments{"--reuid=65534", "--regid=65534"};
    arguments << (dialout ? QStringLiteral("--groups=%1").arg(dialoutGroup->gr_gid)
                          : QStringLiteral("--clear-groups"));
    arguments << QCoreApplication::applicationFilePath() << QString::fromLatin1(kAsUserMode)
              << QString::number(kUsb.com) << QString::number(kUsb.address) << QString::number(kUsb.page);
    child.start(QStandardPaths::findExecutable(QStringLiteral("setpriv")), arguments);
    QVERIFY(child.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(child.readAllStandardError());
    const QStringList lines =
        QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(child.exitCode() == 0, qPrintable(err));
    if (dialout) {
        QCOMPARE(lines, (QStringList{"open 1", "receptions 6+"}));
        QVERIFY(kUsb.received(from).size() >= 6);
    } else {
        const QString refused =
            QStringLiteral("box ") + SerialComponent::accessDenied(kUsb.device) + kTryAgain;
        // Once choosing COM2 and once more entering the host page.
        QCOMPARE(lines, (QStringList{refused, refused, "open 0", "receptions 0"}));
        QCOMPARE(kUsb.received(from), QStringList());
    }
    VERIFY_CLEAN_FRAMES(kUsb, from);
}

void TestDriverScenarios::adapterUnplugged_data()
{
    QTest::addColumn<bool>("linkage");
    QTest::newRow("while polling") << false;
    QTest::newRow("while linkage runs") << true;
}

// The driver sees a disconnect: one message, no write while it is gone, the
// device let go (so it comes back under its old name); the next entry of a
// host page polls it again.
void TestDriverScenarios::adapterUnplugged()
{
    QFETCH(bool, linkage);
    const QString adapter = adapterDirectory();
    QVERIFY2(adapter.contains(QLatin1String("/usb")), qPrintable(adapter));
    const qsizetype from = kUsb.trace().size();
    const QString wirePath = benchPath(QStringLiteral("wire-unplugged-%1.txt").arg(int(linkage)));
    BenchPlatform platform(QStringLiteral("unplugged-%1").arg(int(linkage)));
    Form1 form(platform);
    const Form1Widgets &ui = form.ui();
    form.Form_Load();
    chooseLine(form, kUsb);
    const int page = linkage ? 0 : kUsb.page;
    if (linkage) {
        startLinkage(form, false);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kUsb.command("alarm 2"));
        QTRY_VERIFY_WITH_TIMEOUT(kUsb.received(from).contains(kUsb.frame(0x3D, 0x10)), 10000);
    } else {
        ui.SSTab1->setTab(page);
    }
    QVERIFY(waitUntil([&] { return kUsb.received(from).size() >= 6; }, 20000, 100));

    QVERIFY(writeSysfs(adapter + QStringLiteral("/authorized"), "0"));
    QTRY_COMPARE_WITH_TIMEOUT(platform.boxes.shown().size(), 1, 10000);
    const QString text = platform.boxes.shown().first().text;
    QVERIFY2(isDeviceLostMessage(text), qPrintable(text));
    QVERIFY(!platform.port.portOpen());
    QVERIFY(pollingStopped(form));
    QTRY_COMPARE_WITH_TIMEOUT(openDevices(), QStringList(), 5000);
    QTest::qWait(1000);
    QCOMPARE(platform.boxes.shown().size(), 1);

    // Nothing was written after the failure.
    const QList<TraceLine> wire = readTrace(wirePath);
    bool failed = false;
    for (const TraceLine &entry : wire) {
        failed = failed || entry.what == QLatin1String("fail");
        QVERIFY2(!failed || entry.what != QLatin1String("tx"), qPrintable(entry.bytes));
    }
    QVERIFY(failed);

    QVERIFY(writeSysfs(adapter + QStringLiteral("/authorized"), "1"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(kUsb.device), 20000);
    udevSettle();
    const qsizetype back = kUsb.trace().size();
    if (linkage) {
        // The other pages are locked while linkage runs: cancel, whose
        // all-off frame goes to the adapter, then the host page again.
        ui.Command2[0]->click();
        QCOMPARE(ui.SSTab1->tab(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(kUsb.received(back).contains(kUsb.frame(0x3D, 0x00)), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!platform.port.portOpen(), 5000);
    } else {
        ui.SSTab1->setTab(3);
    }
    ui.SSTab1->setTab(page);
    QVERIFY(waitUntil([&] { return kUsb.received(back).size() >= 8; }, 20000, 100));
    (page == 0 ? ui.Check1[6] : ui.Check5[6])->click();
    QTRY_VERIFY_WITH_TIMEOUT(kUsb.received(back).contains(kUsb.frame(0x3D, 0x40)), 10000);
    ui.SSTab1->setTab(3);
    QCOMPARE(platform.boxes.shown().size(), 1);
    QCOMPARE(platform.endCount, 0);
    VERIFY_CLEAN_FRAMES(kUsb, from);
    QVERIFY(kUsb.command("clear 2"));
}

// Nothing reads the far end of the PC's port: the driver's queue cannot
// drain. Leaving the host page must not wait for it (the kernel would hold
// the close for its 30 s closing wait). Last, as the UART's simulator reads
// the filler once it goes on.
void TestDriverScenarios::stuckLineLetsThePageGo()
{
    QVERIFY(kUart.command("stop"));
    // Fill the line up to the host's side with the port's close not waiting
    // for the rest, as a stuck adapter would leave it.
    {
        const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios raw{};
        ::tcgetattr(fd, &raw);
        ::cfmakeraw(&raw);
        ::cfsetspeed(&raw, B9600);
        ::tcsetattr(fd, TCSANOW, &raw);
        serial_struct serial{};
        QCOMPARE(::ioctl(fd, TIOCGSERIAL, &serial), 0);
        const serial_struct saved = serial;
        serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
        QCOMPARE(::ioctl(fd, TIOCSSERIAL, &serial), 0);
        const QByteArray filler(1024, 'U');
        qint64 written = 0;
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        QDeadlineTimer deadline(60000);
        while (sinceProgress.elapsed() < 1500 && !deadline.hasExpired()) {
            const ssize_t n = ::write(fd, filler.constData(), size_t(filler.size()));
            if (n > 0) {
                written += n;
                sinceProgress.restart();
            } else {
                QTest::qWait(20);
            }
        }
        int queued = 0;
        ::ioctl(fd, TIOCOUTQ, &queued);
        qInfo("line stuck after %lld bytes, %d queued in the driver", written, queued);
        QVERIFY2(queued > 0, "the line never stopped taking bytes");
        ::tcflush(fd, TCOFLUSH);
        QCOMPARE(::ioctl(fd, TIOCSSERIAL, &saved), 0);
        ::close(fd);
    }

    BenchPlatform platform(QStringLiteral("stuck"));
    Form1 form(platform);
    form.Form_Load();
    chooseLine(form, kUart);
    form.ui().SSTab1->setTab(kUart.page);
    QVERIFY(platform.port.portOpen());
    const auto queuedInDriver = [] {
        const int fd = ::open("/dev/ttyS0", O_RDONLY | O_NOCTTY | O_NONBLOCK);
        int queued = 0;
        ::ioctl(fd, TIOCOUTQ, &queued);
        ::close(fd);
        return queued;
    };
    QTRY_VERIFY_WITH_TIMEOUT(queuedInDriver() >= 30, 20000);

    const int queued = queuedInDriver();
    QElapsedTimer switching;
    switching.start();
    form.ui().SSTab1->setTab(2);
    const qint64 ms = switching.elapsed();
    qInfo("page switch with %d bytes stuck took %lld ms", queued, ms);
    // A bound far from the driver's wait, not a speed figure.
    QVERIFY2(ms < 10000, qPrintable(QStringLiteral("the page switch waited %1 ms").arg(ms)));
    QVERIFY(!platform.port.portOpen());
    QCOMPARE(platform.boxes.texts(), QStringList());
    QVERIFY(kUart.command("cont"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], kAsUserMode) == 0)
        return openHostPageAsThisUser(app.arguments().mid(2));
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestDriverScenarios test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "driverscenarios.moc"
