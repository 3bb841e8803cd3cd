#include "serial/portfailuretext.h"
#include "serial/portmap.h"
#include "serial/qtserialcomponent.h"
#include "support/lockedpty.h"
#include "support/systemfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

const QString kHostLine = QStringLiteral("9600,n,8,1");
const QByteArray kReplyA = QByteArray::fromHex("a1b2c3d4e5f6");
const QByteArray kReplyB = QByteArray::fromHex("0102030405ff");
// More than a pseudo-terminal takes in at once.
const QByteArray kBulk(256 * 1024, '\x55');
const QString kPortHold = QStringLiteral(ALARM_BIN_DIR "/porthold");

// A pseudo-terminal standing in for the alarm host's line, and the component
// that opens it as COM1. The test keeps a slave descriptor of its own so the
// master never reads a hang-up between the component's opens, and to look at
// the line settings.
struct Line
{
    Line()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            path = QString::fromLocal8Bit(::ptsname(m_master));
            m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        }
    }
    ~Line()
    {
        port.setPortOpen(false); // while its device is still there
        hangUp();
    }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    bool open(const QString &settings = kHostLine)
    {
        qputenv("ALARM_HOST_TESTER_COM1", QFile::encodeName(path));
        port.setCommPort(1);
        return m_slave >= 0 && port.setSettings(settings) && port.setPortOpen(true);
    }
    QString why() const { return portFailureDescription(port.failure()); }

    void hangUp()
    {
        ::close(std::exchange(m_slave, -1));
        ::close(std::exchange(m_master, -1));
    }

    speed_t outputSpeed() const
    {
        termios settings{};
        return ::tcgetattr(m_slave, &settings) == 0 ? ::cfgetospeed(&settings) : B0;
    }

    bool write(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // What the component sent, until `count` bytes or the time limit.
    QByteArray read(qsizetype count, int timeoutMs = 10000) const
    {
        QByteArray received;
        const QDeadlineTimer deadline(timeoutMs);
        while (received.size() < count && !deadline.hasExpired()) {
            pollfd fd{m_master, POLLIN, 0};
            char buffer[4096];
            if (::poll(&fd, 1, int(deadline.remainingTime())) > 0) {
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                received.append(buffer, n > 0 ? qsizetype(n) : 0);
            }
        }
        return received;
    }

    QString path;
    QtSerialComponent port;

private:
    int m_master = -1;
    int m_slave = -1;
};

// What a case does with the port open on its line.
using LineSteps = std::function<void(Line &)>;

// QSerialPort puts back at close the settings it found at open (another
// program's 19200, say). A pseudo-terminal cannot tell when its transmitter
// is empty, so the close first gives the last frame its line time; a signal
// caught every `signalEveryUs` cuts every wait of it short with EINTR.
LineSteps lastFrameGoesOutBeforeTheSettingsGoBack(int signalEveryUs)
{
    return [signalEveryUs](Line &line) {
        SKIP_ON_PLAIN_QT("wait on the line at the close");
        QElapsedTimer sinceWritten;
        sinceWritten.start();
        QVERIFY(line.port.output(kReplyA));
        using Action = struct sigaction;
        Action caught{};
        caught.sa_handler = [](int) {};
        sigaction(SIGALRM, &caught, nullptr);
        const itimerval storm{{0, signalEveryUs}, {0, signalEveryUs}};
        setitimer(ITIMER_REAL, &storm, nullptr);
        const bool closed = line.port.setPortOpen(false);
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        QVERIFY(closed);
        // Ten bits a character: start, eight data bits, stop.
        const qint64 lineTimeNs = kReplyA.size() * 10 * 1000000000LL / line.port.lineSettings().baudRate;
        QVERIFY2(sinceWritten.nsecsElapsed() >= lineTimeNs,
                 qPrintable(QString::number(sinceWritten.nsecsElapsed())));
    };
}

} // namespace

Q_DECLARE_METATYPE(LineSteps)

class TestQtSerialComponent : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (int n = 1; n <= 8; ++n)
            qunsetenv(("ALARM_HOST_TESTER_COM" + QByteArray::number(n)).constData());
    }

    void portNumbering_data();
    void portNumbering();
    void portOverride();
    void settingsParser_data();
    void settingsParser();
    void openFailuresAreToldApart_data();
    void openFailuresAreToldApart();
    void portHeldByAnotherProgram();
    void deviceWithoutAccessRights();
    void receptionsFollowTheLine_data();
    void receptionsFollowTheLine();
    void onAnOpenLine_data();
    void onAnOpenLine();

private:
    // What the open failure rows point at, kept while the rows run.
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LockedPty> m_locked;
    std::unique_ptr<Line> m_line;
};

void TestQtSerialComponent::portNumbering_data()
{
    // Ports as the system lists them (in no particular order): name, then
    // description, manufacturer, serial number and USB ids where known, as
    // "name;description;manufacturer;serial;ids".
    QTest::addColumn<QStringList>("present");
    // ALARM_HOST_TESTER_COMn pins: "n link device", the link naming the
    // device, or "n device"; a device that is not listed is another node,
    // or not there.
    QTest::addColumn<QStringList>("pins");
    // COM1.. in turn: device and details; "-" for no device.
    QTest::addColumn<QStringList>("expected");

    const auto row = [](const char *name, const QStringList &present, const QStringList &expected,
                        const QStringList &pins = {}) { QTest::newRow(name) << present << pins << expected; };
    const QString ftdi = QStringLiteral("ttyUSB0;FT232R USB UART;FTDI;A10K3Q9X;0403:6001");
    const QString ch340 = QStringLiteral("ttyUSB1;USB Serial;QinHeng Electronics;;1a86:7523");
    const QString ftdiShown = QStringLiteral("/dev/ttyUSB0 FT232R USB UART FTDI A10K3Q9X");
    const QString ch340Shown = QStringLiteral("/dev/ttyUSB1 USB Serial QinHeng Electronics");
    const QString ftdiId = QStringLiteral("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3Q9X-if00-port0");
    const QString ch340Id = QStringLiteral("serial/by-id/usb-1a86_USB_Serial-if00-port0");
    const QString ftdiPinned = "/dev/" + ftdiId + " FT232R USB UART FTDI A10K3Q9X";
    const QString ch340Pinned = "/dev/" + ch340Id + " USB Serial QinHeng Electronics";
    row("laptop, one adapter", {ftdi}, {ftdiShown, "-", "-", "-", "-", "-", "-", "-"});
    row("desktop, ttyS0 and two adapters", {ch340, "ttyS0", ftdi},
        {"/dev/ttyS0", ftdiShown, ch340Shown, "-"});
    row("built-in first, then by kind and number",
        {"ttyACM0;;;;2341:0043", "ttyUSB10;;;;0403:6001", "ttyS1", "ttyUSB2;;;;067b:2303", "ttyAMA0"},
        {"/dev/ttyAMA0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "-"});
    // An adapter is told by its USB ids, whatever its driver names it.
    row("adapters of other drivers, Bluetooth last",
        {"ttyXRUSB0;XR21V1410 USB-UART;Exar;;04e2:1410", "rfcomm0",
         "ttyCH341USB0;USB Serial;wch.cn;;1a86:7523", "ttyS0", "ttyACM0;;;;2341:0043",
         "ttyUSB0;;;;0403:6001"},
        {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyCH341USB0 USB Serial wch.cn",
         "/dev/ttyXRUSB0 XR21V1410 USB-UART Exar", "/dev/rfcomm0", "-"});
    // The same machine before and after the adapter is plugged in: the
    // next probe of COM2 finds it.
    row("before plugging in", {"ttyS0"}, {"/dev/ttyS0", "-"});
    row("after plugging in", {"ttyS0", ftdi}, {"/dev/ttyS0", ftdiShown});
    row("no ports", {}, {"-"});
    // A pinned device is left out when the others are counted.
    row("pin by id", {"ttyS0", ftdi}, {ftdiPinned, "/dev/ttyS0", "-"}, {"1 " + ftdiId + " ttyUSB0"});
    row("pin of the second adapter", {ftdi, ch340}, {ch340Pinned, ftdiShown, "-"},
        {"1 " + ch340Id + " ttyUSB1"});
    row("pin on COM3", {"ttyS0", ftdi, ch340}, {"/dev/ttyS0", ch340Shown, ftdiPinned, "-"},
        {"3 " + ftdiId + " ttyUSB0"});
    row("pinned adapter unplugged", {"ttyS0", ch340}, {"/dev/" + ftdiId, "/dev/ttyS0", ch340Shown, "-"},
        {"1 " + ftdiId + " ttyUSB0"});
    row("pin, unlisted", {ftdi}, {"/dev/pts/3", ftdiShown, "-"}, {"1 pts/3"});
    row("two pins", {"ttyS0", ftdi, ch340}, {ftdiPinned, ch340Pinned, "/dev/ttyS0", "-"},
        {"2 " + ch340Id + " ttyUSB1", "1 " + ftdiId + " ttyUSB0"});
}

void TestQtSerialComponent::portNumbering()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, pins);
    QFETCH(QStringList, expected);

    // Device nodes and links as files in a directory standing in for /dev.
    QTemporaryDir dir;
    const QString dev = QFileInfo(dir.path()).canonicalFilePath();
    // A device node, or a link to `target` when one is named.
    const auto node = [&dev](const QString &name, const QString &target = {}) {
        const QString path = dev + u'/' + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        const bool made =
            target.isEmpty() ? file.open(QIODevice::WriteOnly) : QFile::link(dev + u'/' + target, path);
        return made ? path : QString();
    };
    QList<PortDescription> ports;
    for (const QString &line : present) {
        const QStringList f = line.split(u';');
        ports.append({f[0], node(f[0]), f.value(1), f.value(2), f.value(3), !f.value(4).isEmpty()});
    }
    for (const QString &pin : pins) {
        const QStringList f = pin.split(u' ');
        qputenv(("ALARM_HOST_TESTER_COM" + f[0]).toLatin1().constData(),
                QFile::encodeName(node(f[1], f.value(2))));
    }

    for (int n = 1; n <= expected.size(); ++n) {
        PortDescription port = describePort(int16_t(n), ports);
        QStringList shown{port.systemLocation.isEmpty() ? QStringLiteral("-")
                                                        : port.systemLocation.replace(dev, "/dev")};
        for (const QString &detail : {port.description, port.manufacturer, port.serialNumber})
            if (!detail.isEmpty())
                shown.append(detail);
        QCOMPARE(shown.join(u' '), expected.at(n - 1));
    }
    for (const int16_t n : {int16_t(0), int16_t(9)})
        QVERIFY(describePort(n, ports).systemLocation.isEmpty());
}

void TestQtSerialComponent::portOverride()
{
    QCOMPARE(deviceForPort(0), QString());
    QCOMPARE(deviceForPort(9), QString());
    qputenv("ALARM_HOST_TESTER_COM1", "/dev/ttyUSB0");
    QCOMPARE(deviceForPort(1), QStringLiteral("/dev/ttyUSB0"));
    qputenv("ALARM_HOST_TESTER_COM2", "serial/by-id/usb-FTDI_A10K3Q9X-if00-port0");
    QCOMPARE(deviceForPort(2), QStringLiteral("/dev/serial/by-id/usb-FTDI_A10K3Q9X-if00-port0"));
}

void TestQtSerialComponent::settingsParser_data()
{
    QTest::addColumn<QString>("text");
    // 0 when refused.
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("quietMs");

    QTest::newRow("host line") << kHostLine << 9600 << 4;
    QTest::newRow("upper case, spaces") << QStringLiteral(" 1200 , N , 8 , 1 ") << 1200 << 33;
    QTest::newRow("minimum quiet") << QStringLiteral("115200,n,8,1") << 115200 << 2;
    for (const char *bad :
         {"", "9600", "9600,n,8", "9600,n,8,1,1", "9600,x,8,1", "9600,,8,1", "9600,e,8,1", "9600,n,7,1",
          "0,n,8,1", "-9600,n,8,1", "fast,n,8,1", "9600,n,8,2", "9600,n,8,1.0", "9600;n;8;1"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << 0 << 0;
}

void TestQtSerialComponent::settingsParser()
{
    QFETCH(QString, text);
    QFETCH(int, baudRate);
    QFETCH(int, quietMs);

    QtSerialComponent component;
    QVERIFY(component.setSettings(QStringLiteral("19200,n,8,1")));
    QCOMPARE(component.setSettings(text), baudRate != 0);
    if (baudRate == 0) {
        QCOMPARE(component.failure(), (PortFailure{PortError::InvalidSettings, text}));
        QCOMPARE(component.lineSettings().baudRate, 19200); // the previous settings stay
    } else {
        QCOMPARE(component.lineSettings().baudRate, baudRate);
        QCOMPARE(component.quietIntervalMs(), quietMs);
    }
}

// Nothing to open, or nothing that is a serial line: the probe moves on.
void TestQtSerialComponent::openFailuresAreToldApart_data()
{
    QTest::addColumn<QString>("device");
    m_dir = std::make_unique<QTemporaryDir>();
    QFile plain(m_dir->filePath(QStringLiteral("notatty")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    m_locked = std::make_unique<LockedPty>();
    QVERIFY(!m_locked->slavePath().isEmpty());
    // A working line, but named from the working directory.
    m_line = std::make_unique<Line>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("relative")));
    QVERIFY(QFile::link(m_line->path, m_dir->filePath(QStringLiteral("relative/tty"))));
    QVERIFY(QDir::setCurrent(m_dir->path()));

    QTest::newRow("no such device") << m_dir->filePath(QStringLiteral("ttyGone"));
    QTest::newRow("regular file") << plain.fileName();
    QTest::newRow("not a tty") << QStringLiteral("/dev/null");
    QTest::newRow("no device behind the node (EIO)") << QString::fromLocal8Bit(m_locked->slavePath());
    QTest::newRow("directory") << m_dir->path();
    QTest::newRow("relative path") << QStringLiteral("relative/tty");
}

void TestQtSerialComponent::openFailuresAreToldApart()
{
    QFETCH(QString, device);

    QtSerialComponent component;
    QVERIFY(component.setPortOpen(false)); // closing a closed port is harmless
    QVERIFY(!component.output(kReplyA));
    QCOMPARE(component.failure().error, PortError::PortClosed);

    for (const int16_t port : {int16_t(0), int16_t(9)}) {
        component.setCommPort(port);
        QVERIFY(!component.setPortOpen(true));
        QCOMPARE(component.failure().error, PortError::NoSuchPort);
    }

    component.setCommPort(1);
    qputenv("ALARM_HOST_TESTER_COM1", QFile::encodeName(device));
    QVERIFY(!component.setPortOpen(true));
    if (component.failure().error != PortError::NoSuchPort)
        SKIP_ON_PLAIN_QT("tell a node that is no serial line from other refusals");
    QCOMPARE(component.failure().error, PortError::NoSuchPort);
    QVERIFY(!component.portOpen());
}

void TestQtSerialComponent::portHeldByAnotherProgram()
{
    Line line;
    // Given back by an orderly exit, and by a killed holder's stale lock.
    for (const bool kill : {false, true}) {
        QProcess holder;
        holder.start(kPortHold, {line.path});
        QVERIFY2(holder.waitForStarted(), qPrintable(holder.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() == QProcess::NotRunning, 10000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));

        QVERIFY(!line.open());
        QCOMPARE(line.port.failure().error, PortError::PortInUse);
        QVERIFY(!line.port.portOpen());

        kill ? holder.kill() : holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY2(line.port.setPortOpen(true), qPrintable(line.why()));
        QVERIFY(line.port.setPortOpen(false));
    }
}

void TestQtSerialComponent::deviceWithoutAccessRights()
{
    SKIP_ON_PLAIN_QT("tell a refused device from one held elsewhere");
    Line line;
    if (::geteuid() != 0) {
        QCOMPARE(::chmod(QFile::encodeName(line.path).constData(), 0), 0);
        QVERIFY(!line.open());
        QCOMPARE(line.port.failure(), (PortFailure{PortError::AccessDenied, line.path}));
        return;
    }

    // Root opens anything, so the refusal is tried as an ordinary user.
    // QTest::qSkip rather than QSKIP, whose variadic form trips clang's
    // -Wpedantic with a single argument.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        QTest::qSkip("setpriv is needed to probe as an unprivileged user", __FILE__, __LINE__);
        return;
    }
    QCOMPARE(::chmod(QFile::encodeName(line.path).constData(), 0600), 0);
    QProcess probe;
    probe.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), kPortHold, QStringLiteral("--probe"), line.path});
    QVERIFY(probe.waitForFinished(10000));
    if (probe.exitCode() != 0) {
        const QByteArray why = "porthold did not run unprivileged: " + probe.readAllStandardError();
        QTest::qSkip(why.constData(), __FILE__, __LINE__);
        return;
    }
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(),
             QStringLiteral("没有权限打开%1(用户需加入dialout组并重新登录)").arg(line.path));
}

void TestQtSerialComponent::receptionsFollowTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("byteGapMs");
    QTest::addColumn<int>("pauseMs");
    // Each piece is written byte by byte and must arrive as one reception.
    QTest::addColumn<QList<QByteArray>>("pieces");

    const QString slow = QStringLiteral("1200,n,8,1"); // 33 ms quiet time
    QTest::newRow("paced reply") << kHostLine << 1 << 0 << QList<QByteArray>{kReplyA};
    QTest::newRow("replies 10 ms apart") << kHostLine << 1 << 10 << QList<QByteArray>{kReplyA, kReplyB};
    QTest::newRow("fragment, reply") << kHostLine << 1 << 10 << QList<QByteArray>{kReplyA.left(3), kReplyB};
    QTest::newRow("slow line, paced reply") << slow << 10 << 0 << QList<QByteArray>{kReplyA};
    QTest::newRow("slow line, fragment") << slow << 10 << 100 << QList<QByteArray>{kReplyA.left(3), kReplyB};
}

void TestQtSerialComponent::receptionsFollowTheLine()
{
    QFETCH(QString, settings);
    QFETCH(int, byteGapMs);
    QFETCH(int, pauseMs);
    QFETCH(QList<QByteArray>, pieces);

    Line line;
    // A pseudo-terminal refuses low latency; the port opens all the same.
    line.port.setReceiveLatency(0);
    QVERIFY2(line.open(settings), qPrintable(line.why()));
    // Each receive event filed as the callers file it, taking all it announced.
    QList<QByteArray> receptions;
    bool countMismatch = false;
    QSignalSpy events(&line.port, &SerialComponent::OnComm);
    connect(&line.port, &SerialComponent::OnComm, &line.port, [&] {
        const int announced = line.port.inBufferCount();
        receptions.append(line.port.input());
        countMismatch |= announced != receptions.last().size() || line.port.inBufferCount() != 0;
    });

    // The margins are a few milliseconds, and on a busy machine the writer
    // thread or the kernel's pty worker can be late by more than that. A
    // fault in the component shows in every attempt, a late scheduler
    // seldom twice in a row.
    for (int attempt = 0; attempt < 5 && receptions != pieces; ++attempt) {
        receptions.clear();
        std::thread peer([&] {
            for (const QByteArray &piece : pieces) {
                for (char byte : piece) { // one at a time, as a slow line delivers them
                    line.write(QByteArray(1, byte));
                    std::this_thread::sleep_for(milliseconds(byteGapMs));
                }
                std::this_thread::sleep_for(milliseconds(pauseMs));
            }
        });
        // A real event loop between the events: QTest::qWait sleeps between
        // its turns and would merge receptions that the component keeps apart.
        while (receptions.join().size() < pieces.join().size() && events.wait(5000)) {
        }
        peer.join();
        QVERIFY(!countMismatch);
    }
    QCOMPARE(receptions, pieces);
}

void TestQtSerialComponent::onAnOpenLine_data()
{
    QTest::addColumn<LineSteps>("steps");

    QTest::newRow("settings reach the line") << LineSteps([](Line &line) {
        QCOMPARE(line.outputSpeed(), speed_t(B9600));
        // Changed while open: takes effect at once.
        QVERIFY(line.port.setSettings(QStringLiteral("1200,n,8,1")));
        QCOMPARE(line.outputSpeed(), speed_t(B1200));
    });
    QTest::newRow("second open leaves the first alone") << LineSteps([](Line &line) {
        QVERIFY(!line.port.setPortOpen(true));
        QCOMPARE(line.port.failure().error, PortError::PortInUse);
        QVERIFY(line.port.portOpen());
        QVERIFY(line.port.output(kReplyA));
        QCOMPARE(line.read(kReplyA.size()), kReplyA);
    });
    QTest::newRow("discarded input is gone") << LineSteps([](Line &line) {
        QSignalSpy events(&line.port, &SerialComponent::OnComm);
        QVERIFY(line.write(kReplyA));
        QTRY_COMPARE_WITH_TIMEOUT(line.port.inBufferCount(), int(kReplyA.size()), 5000);
        line.port.setInBufferCount(0);
        QCOMPARE(line.port.inBufferCount(), 0);
        events.clear();
        QVERIFY(line.write(kReplyB));
        QVERIFY(events.wait(5000));
        QCOMPARE(line.port.input(), kReplyB);
    });
    // Part of the bulk is still queued in QSerialPort when the port is closed.
    QTest::newRow("frame written before the close reaches the peer") << LineSteps([](Line &line) {
        QByteArray received;
        std::thread peer([&] { received = line.read(kBulk.size() + kReplyA.size()); });
        const bool written = line.port.output(kBulk) && line.port.output(kReplyA);
        const QString description = line.why();
        const bool closed = line.port.setPortOpen(false);
        peer.join();
        QVERIFY2(written, qPrintable(description));
        QVERIFY(closed);
        QCOMPARE(received.size(), kBulk.size() + kReplyA.size());
        QCOMPARE(received.right(kReplyA.size()), kReplyA);
    });
    // Nobody reads the line: the pseudo-terminal fills up and the rest
    // waits, as behind an adapter that has stopped taking data, where the
    // kernel's close would wait up to 30 s for the queue to drain.
    QTest::newRow("stalled line does not hold the close") << LineSteps([](Line &line) {
        QVERIFY(line.port.output(kBulk));
        const QDeadlineTimer watchdog(10000);
        QVERIFY(line.port.setPortOpen(false));
        QVERIFY(!watchdog.hasExpired());
        // The reading end's line discipline holds 4096 bytes; the rest was the
        // driver's queue, which the close discarded rather than left to go out.
        const QByteArray late = line.read(kBulk.size(), 500);
        QVERIFY2(late.size() <= 4096, qPrintable(QString::number(late.size())));
    });
    QTest::newRow("last frame out before the settings go back") << lastFrameGoesOutBeforeTheSettingsGoBack(0);
    QTest::newRow("last frame out, signals during the wait") << lastFrameGoesOutBeforeTheSettingsGoBack(200);
    // The port reads end of file from now on, as after an unplug; whatever
    // QSerialPort makes of that must not keep the event loop busy.
    QTest::newRow("vanished device fails writes") << LineSteps([](Line &line) {
        line.hangUp();
        struct WakeUpCounter : QObject
        {
            int wakeUps = 0;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                wakeUps += event->type() == QEvent::SockAct;
                return QObject::eventFilter(watched, event);
            }
        } counter;
        QCoreApplication::instance()->installEventFilter(&counter);
        QTest::qWait(100);
        QCoreApplication::instance()->removeEventFilter(&counter);
        QVERIFY2(counter.wakeUps < 50, qPrintable(QString::number(counter.wakeUps)));

        QVERIFY(line.port.portOpen()); // until the callers close it
        QVERIFY(!line.port.output(kReplyA));
        QCOMPARE(line.port.failure().error, PortError::DeviceGone);
        QVERIFY(line.port.setPortOpen(false));
        // As an adapter's by-id link goes with it: the terminal's own number
        // may already serve a terminal of another test running beside this.
        const QTemporaryDir links;
        qputenv("ALARM_HOST_TESTER_COM1", links.filePath(QStringLiteral("unplugged")).toLocal8Bit());
        QVERIFY(!line.port.setPortOpen(true));
        QCOMPARE(line.port.failure().error, PortError::NoSuchPort);
    });
}

void TestQtSerialComponent::onAnOpenLine()
{
    QFETCH(LineSteps, steps);
    Line line;
    QVERIFY2(line.open(), qPrintable(line.why()));
    steps(line);
}

QTEST_MAIN(TestQtSerialComponent)
#include "tst_qtserialcomponent.moc"
