#include "serial/portmap.h"
#include "serial/qtserialcomponent.h"
#include "support/lockedpty.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

const QByteArray kReplyA = QByteArray::fromHex("a1b2c3d4e5f6");
const QByteArray kReplyB = QByteArray::fromHex("0102030405ff");

// A pseudo-terminal standing in for the alarm host's line. The test keeps a
// slave descriptor of its own so the master never reads a hang-up between
// the component's opens, and to look at the line settings.
class Pty
{
public:
    Pty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            m_slavePath = QByteArray(::ptsname(m_master));
            m_slave = ::open(m_slavePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        }
    }
    ~Pty() { hangUp(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    int slave() const { return m_slave; }
    QByteArray slavePath() const { return m_slavePath; }

    void hangUp()
    {
        for (int *fd : {&m_slave, &m_master}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    bool write(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Bytes one at a time, as a slow line delivers them.
    void writePaced(const QByteArray &bytes, milliseconds gap) const
    {
        for (char byte : bytes) {
            write(QByteArray(1, byte));
            std::this_thread::sleep_for(gap);
        }
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

private:
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_slavePath;
};

// Files every receive event as the callers do: one entry per OnComm.
class Receiver
{
public:
    explicit Receiver(QtSerialComponent &component)
    {
        m_connection = QObject::connect(&component, &SerialComponent::OnComm, &component, [this, &component] {
            const int announced = component.inBufferCount();
            receptions.append(component.input());
            countMismatch |= announced != receptions.last().size() || component.inBufferCount() != 0;
            if (m_loop && total() >= m_target)
                m_loop->quit();
        });
    }
    ~Receiver() { QObject::disconnect(m_connection); }
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;

    qsizetype total() const
    {
        qsizetype sum = 0;
        for (const QByteArray &bytes : receptions)
            sum += bytes.size();
        return sum;
    }

    // A real event loop: QTest::qWait sleeps between its turns and would
    // merge receptions that the component keeps apart.
    bool waitForTotal(qsizetype count)
    {
        if (total() < count) {
            QEventLoop loop;
            QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            m_loop = &loop;
            m_target = count;
            loop.exec();
            m_loop = nullptr;
        }
        return total() >= count;
    }

    QList<QByteArray> receptions;
    bool countMismatch = false;

private:
    QMetaObject::Connection m_connection;
    QEventLoop *m_loop = nullptr;
    qsizetype m_target = 0;
};

bool openOn(QtSerialComponent &component, const Pty &pty,
            const QString &settings = QStringLiteral("9600,n,8,1"))
{
    qputenv("ALARM_HOST_TESTER_COM1", pty.slavePath());
    component.setCommPort(1);
    return component.setSettings(settings) && component.setPortOpen(true);
}

QString portHold()
{
    return QStringLiteral(ALARM_BIN_DIR "/porthold");
}

} // namespace

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
    void settingsReachTheLine();
    void openFailuresAreToldApart_data();
    void openFailuresAreToldApart();
    void portHeldByAnotherProgram();
    void deviceWithoutAccessRights();
    void receptionsFollowTheLine_data();
    void receptionsFollowTheLine();
    void discardedInputIsGone();
    void frameWrittenBeforeCloseReachesPeer();
    void stalledLineDoesNotHoldTheClose();
    void lastFrameGoesOutBeforeTheSettingsGoBack_data();
    void lastFrameGoesOutBeforeTheSettingsGoBack();
    void vanishedDeviceFailsWrites();

private:
    // What the open failure rows point at, kept while the rows run.
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LockedPty> m_locked;
    std::unique_ptr<Pty> m_line;
};

void TestQtSerialComponent::portNumbering_data()
{
    // Ports as the system lists them (in no particular order): name, then
    // description, manufacturer, serial number and USB ids where known.
    QTest::addColumn<QStringList>("present");
    // ALARM_HOST_TESTER_COMn pins: "n link device", the link naming the
    // device; a device that is not listed is another node, or not there.
    QTest::addColumn<QStringList>("pins");
    // COM1.. in turn: device and details; "-" for no device.
    QTest::addColumn<QStringList>("expected");

    const QString ftdi = QStringLiteral("ttyUSB0;FT232R USB UART;FTDI;A10K3Q9X;0403:6001");
    const QString ch340 = QStringLiteral("ttyUSB1;USB Serial;QinHeng Electronics;;1a86:7523");
    const QString ftdiShown = QStringLiteral("/dev/ttyUSB0 FT232R USB UART FTDI A10K3Q9X");
    const QString ch340Shown = QStringLiteral("/dev/ttyUSB1 USB Serial QinHeng Electronics");
    const QString ftdiId = QStringLiteral("serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3Q9X-if00-port0");
    const QString ch340Id = QStringLiteral("serial/by-id/usb-1a86_USB_Serial-if00-port0");
    const QString ftdiPinned = "/dev/" + ftdiId + " FT232R USB UART FTDI A10K3Q9X";
    const QString ch340Pinned = "/dev/" + ch340Id + " USB Serial QinHeng Electronics";
    const QStringList gone{"-", "-", "-", "-", "-", "-", "-"};
    QTest::newRow("laptop, one adapter")
        << QStringList{ftdi} << QStringList{} << QStringList{ftdiShown} + gone;
    QTest::newRow("desktop, ttyS0 and two adapters") << QStringList{ch340, "ttyS0;;;;", ftdi} << QStringList{}
                                                     << QStringList{"/dev/ttyS0", ftdiShown, ch340Shown, "-"};
    QTest::newRow("built-in first, then by kind and number")
        << QStringList{"ttyACM0;;;;2341:0043", "ttyUSB10;;;;0403:6001", "ttyS1;;;;", "ttyUSB2;;;;067b:2303",
                       "ttyAMA0;;;;"}
        << QStringList{}
        << QStringList{"/dev/ttyAMA0", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "-"};
    // An adapter is told by its USB ids, whatever its driver names it.
    QTest::newRow("adapters of other drivers, Bluetooth last")
        << QStringList{"ttyXRUSB0;XR21V1410 USB-UART;Exar;;04e2:1410",
                       "rfcomm0;;;;",
                       "ttyCH341USB0;USB Serial;wch.cn;;1a86:7523",
                       "ttyS0;;;;",
                       "ttyACM0;;;;2341:0043",
                       "ttyUSB0;;;;0403:6001"}
        << QStringList{}
        << QStringList{"/dev/ttyS0",
                       "/dev/ttyUSB0",
                       "/dev/ttyACM0",
                       "/dev/ttyCH341USB0 USB Serial wch.cn",
                       "/dev/ttyXRUSB0 XR21V1410 USB-UART Exar",
                       "/dev/rfcomm0",
                       "-"};
    // The same machine before and after the adapter is plugged in: the
    // next probe of COM2 finds it.
    QTest::newRow("before plugging in")
        << QStringList{"ttyS0;;;;"} << QStringList{} << QStringList{"/dev/ttyS0", "-"};
    QTest::newRow("after plugging in")
        << QStringList{"ttyS0;;;;", ftdi} << QStringList{} << QStringList{"/dev/ttyS0", ftdiShown};
    QTest::newRow("no ports") << QStringList{} << QStringList{} << QStringList{"-"};
    // A pinned device is left out when the others are counted.
    QTest::newRow("pin by id") << QStringList{"ttyS0;;;;", ftdi} << QStringList{"1 " + ftdiId + " ttyUSB0"}
                               << QStringList{ftdiPinned, "/dev/ttyS0", "-"};
    QTest::newRow("pin of the second adapter")
        << QStringList{ftdi, ch340} << QStringList{"1 " + ch340Id + " ttyUSB1"}
        << QStringList{ch340Pinned, ftdiShown, "-"};
    QTest::newRow("pin on COM3") << QStringList{"ttyS0;;;;", ftdi, ch340}
                                 << QStringList{"3 " + ftdiId + " ttyUSB0"}
                                 << QStringList{"/dev/ttyS0", ch340Shown, ftdiPinned, "-"};
    QTest::newRow("pinned adapter unplugged")
        << QStringList{"ttyS0;;;;", ch340} << QStringList{"1 " + ftdiId + " ttyUSB0"}
        << QStringList{"/dev/" + ftdiId, "/dev/ttyS0", ch340Shown, "-"};
    QTest::newRow("pin, unlisted") << QStringList{ftdi} << QStringList{"1 pts/3 pts/3"}
                                   << QStringList{"/dev/pts/3", ftdiShown, "-"};
    QTest::newRow("two pins") << QStringList{"ttyS0;;;;", ftdi, ch340}
                              << QStringList{"2 " + ch340Id + " ttyUSB1", "1 " + ftdiId + " ttyUSB0"}
                              << QStringList{ftdiPinned, ch340Pinned, "/dev/ttyS0", "-"};
}

void TestQtSerialComponent::portNumbering()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, pins);
    QFETCH(QStringList, expected);

    // Device nodes and links as files in a directory standing in for /dev.
    QTemporaryDir dir;
    const QString dev = QFileInfo(dir.path()).canonicalFilePath();
    const auto node = [&dev](const QString &name) {
        const QString path = dev + u'/' + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) ? path : QString();
    };
    QList<PortDescription> ports;
    for (const QString &line : present) {
        const QStringList f = line.split(u';');
        ports.append({f[0], node(f[0]), f[1], f[2], f[3], !f[4].isEmpty()});
    }
    for (const QString &line : pins) {
        const QStringList f = line.split(u' ');
        QString link = dev + u'/' + f[1];
        if (f[1] == f[2]) {
            link = node(f[1]);
        } else {
            QDir().mkpath(QFileInfo(link).path());
            QVERIFY(QFile::link(dev + u'/' + f[2], link));
        }
        qputenv(("ALARM_HOST_TESTER_COM" + f[0]).toLatin1().constData(), QFile::encodeName(link));
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
    // baud, parity, data bits, stop bits, quiet ms; empty when refused.
    QTest::addColumn<QString>("expected");

    QTest::newRow("host line") << "9600,n,8,1"
                               << "9600 0 8 1 4";
    QTest::newRow("upper case") << "1200,E,7,2"
                                << "1200 2 7 2 37";
    QTest::newRow("spaces, 1.5") << " 4800 , o , 5 , 1.5 "
                                 << "4800 3 5 3 7";
    QTest::newRow("mark") << "2400,m,6,1"
                          << "2400 5 6 1 15";
    QTest::newRow("minimum quiet") << "115200,s,8,1"
                                   << "115200 4 8 1 2";
    for (const char *bad :
         {"", "9600", "9600,n,8", "9600,n,8,1,1", "9600,x,8,1", "9600,,8,1", "9600,n,9,1", "9600,n,4,1",
          "0,n,8,1", "-9600,n,8,1", "fast,n,8,1", "9600,n,8,3", "9600,n,8,1.0", "9600;n;8;1"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << QString();
}

void TestQtSerialComponent::settingsParser()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QtSerialComponent component;
    QVERIFY(component.setSettings(QStringLiteral("19200,n,8,1")));
    QCOMPARE(component.setSettings(text), !expected.isEmpty());
    const LineSettings s = component.lineSettings();
    if (expected.isEmpty()) {
        QVERIFY(component.errorDescription().startsWith(QtSerialComponent::kInvalidSettings));
        QCOMPARE(s.baudRate, 19200); // the previous settings stay
    } else {
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(s.baudRate)
                     .arg(s.parity)
                     .arg(s.dataBits)
                     .arg(s.stopBits)
                     .arg(component.quietIntervalMs()),
                 expected);
    }
}

void TestQtSerialComponent::settingsReachTheLine()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    QVERIFY2(openOn(component, pty, QStringLiteral("1200,e,7,2")), qPrintable(component.errorDescription()));

    // A pseudo-terminal keeps only speed and stop bits; it forces 8 data
    // bits and no parity whatever is asked.
    termios line{};
    QCOMPARE(::tcgetattr(pty.slave(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B1200));
    QVERIFY(line.c_cflag & CSTOPB);

    // Changed while open: takes effect at once.
    QVERIFY(component.setSettings(QStringLiteral("9600,n,8,1")));
    QCOMPARE(::tcgetattr(pty.slave(), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
    QVERIFY(!(line.c_cflag & CSTOPB));
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
    m_line = std::make_unique<Pty>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("relative")));
    QVERIFY(QFile::link(QString::fromLocal8Bit(m_line->slavePath()),
                        m_dir->filePath(QStringLiteral("relative/tty"))));
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
    QCOMPARE(component.errorDescription(), SerialComponent::kPortClosed);

    for (const int16_t port : {int16_t(0), int16_t(9)}) {
        component.setCommPort(port);
        QVERIFY(!component.setPortOpen(true));
        QCOMPARE(component.errorDescription(), SerialComponent::kInvalidPort);
    }

    component.setCommPort(1);
    qputenv("ALARM_HOST_TESTER_COM1", QFile::encodeName(device));
    QVERIFY(!component.setPortOpen(true));
    QCOMPARE(component.errorDescription(), SerialComponent::kInvalidPort);
    QVERIFY(!component.portOpen());

    // A pseudo-terminal refuses low latency; the port opens all the same.
    Pty pty;
    QVERIFY(pty.isValid());
    component.setReceiveLatency(0);
    QVERIFY2(openOn(component, pty), qPrintable(component.errorDescription()));

    QVERIFY(!component.setPortOpen(true));
    QCOMPARE(component.errorDescription(), SerialComponent::kPortInUse);
    QVERIFY(component.portOpen()); // the second open leaves the first alone
    QVERIFY(component.output(kReplyA));
    QCOMPARE(pty.read(6), kReplyA);
}

void TestQtSerialComponent::portHeldByAnotherProgram()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());

    // Given back by an orderly exit, and by a killed holder's stale lock.
    for (const bool kill : {false, true}) {
        QProcess holder;
        holder.start(portHold(), {QString::fromLocal8Bit(pty.slavePath())});
        QVERIFY2(holder.waitForStarted(), qPrintable(holder.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() == QProcess::NotRunning, 10000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));

        QVERIFY(!openOn(component, pty));
        QCOMPARE(component.errorDescription(), SerialComponent::kPortInUse);
        QVERIFY(!component.portOpen());

        kill ? holder.kill() : holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY2(component.setPortOpen(true), qPrintable(component.errorDescription()));
        QVERIFY(component.setPortOpen(false));
    }
}

void TestQtSerialComponent::deviceWithoutAccessRights()
{
    Pty pty;
    QVERIFY(pty.isValid());
    if (::geteuid() != 0) {
        QCOMPARE(::chmod(pty.slavePath().constData(), 0), 0);
        QtSerialComponent component;
        QVERIFY(!openOn(component, pty));
        QCOMPARE(component.errorDescription(),
                 SerialComponent::accessDenied(QString::fromLocal8Bit(pty.slavePath())));
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
    QCOMPARE(::chmod(pty.slavePath().constData(), 0600), 0);
    QProcess probe;
    probe.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), portHold(), QStringLiteral("--probe"),
                          QString::fromLocal8Bit(pty.slavePath())});
    QVERIFY(probe.waitForFinished(10000));
    if (probe.exitCode() != 0) {
        const QByteArray why = "porthold did not run unprivileged: " + probe.readAllStandardError();
        QTest::qSkip(why.constData(), __FILE__, __LINE__);
        return;
    }
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(),
             SerialComponent::accessDenied(QString::fromLocal8Bit(pty.slavePath())));
}

void TestQtSerialComponent::receptionsFollowTheLine_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("byteGapMs");
    QTest::addColumn<int>("pauseMs");
    // Each piece is written byte by byte and must arrive as one reception.
    QTest::addColumn<QList<QByteArray>>("pieces");

    const QString fast = QStringLiteral("9600,n,8,1");
    const QString slow = QStringLiteral("1200,n,8,1"); // 33 ms quiet time
    QTest::newRow("paced reply") << fast << 1 << 0 << QList<QByteArray>{kReplyA};
    QTest::newRow("replies 10 ms apart") << fast << 1 << 10 << QList<QByteArray>{kReplyA, kReplyB};
    QTest::newRow("fragment, reply") << fast << 1 << 10 << QList<QByteArray>{kReplyA.left(3), kReplyB};
    QTest::newRow("slow line, paced reply") << slow << 10 << 0 << QList<QByteArray>{kReplyA};
    QTest::newRow("slow line, fragment") << slow << 10 << 100 << QList<QByteArray>{kReplyA.left(3), kReplyB};
}

void TestQtSerialComponent::receptionsFollowTheLine()
{
    QFETCH(QString, settings);
    QFETCH(int, byteGapMs);
    QFETCH(int, pauseMs);
    QFETCH(QList<QByteArray>, pieces);

    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    component.setReceiveLatency(0);
    QVERIFY(openOn(component, pty, settings));
    const qsizetype expectedTotal = pieces.join().size();

    // The margins are a few milliseconds, and on a busy machine the writer
    // thread or the kernel's pty worker can be late by more than that. A
    // fault in the component shows in every attempt, a late scheduler
    // seldom twice in a row.
    QList<QByteArray> receptions;
    for (int attempt = 0; attempt < 5 && receptions != pieces; ++attempt) {
        Receiver receiver(component);
        std::thread peer([&] {
            for (const QByteArray &piece : pieces) {
                pty.writePaced(piece, milliseconds(byteGapMs));
                std::this_thread::sleep_for(milliseconds(pauseMs));
            }
        });
        const bool complete = receiver.waitForTotal(expectedTotal);
        peer.join();
        QVERIFY(complete);
        QVERIFY(!receiver.countMismatch);
        receptions = receiver.receptions;
    }
    QCOMPARE(receptions, pieces);
}

void TestQtSerialComponent::discardedInputIsGone()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    QVERIFY(openOn(component, pty));
    QSignalSpy events(&component, &SerialComponent::OnComm);

    QVERIFY(pty.write(kReplyA));
    QTRY_COMPARE_WITH_TIMEOUT(component.inBufferCount(), 6, 5000);
    component.setInBufferCount(0);
    QCOMPARE(component.inBufferCount(), 0);

    events.clear();
    QVERIFY(pty.write(kReplyB));
    QVERIFY(events.wait(5000));
    QCOMPARE(component.input(), kReplyB);
}

void TestQtSerialComponent::frameWrittenBeforeCloseReachesPeer()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    QVERIFY(openOn(component, pty));

    // More than a pseudo-terminal takes in at once, so part of it is still
    // queued in QSerialPort when the port is closed.
    const QByteArray bulk(256 * 1024, '\x55');
    const QByteArray frame = QByteArray::fromHex("aa0102030455");
    QByteArray received;
    std::thread peer([&] { received = pty.read(bulk.size() + frame.size()); });
    const bool written = component.output(bulk) && component.output(frame);
    const QString description = component.errorDescription();
    QVERIFY(component.setPortOpen(false));
    peer.join();

    QVERIFY2(written, qPrintable(description));
    QCOMPARE(received.size(), bulk.size() + frame.size());
    QCOMPARE(received.right(6), frame);
}

void TestQtSerialComponent::stalledLineDoesNotHoldTheClose()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    QVERIFY(openOn(component, pty));

    // Nobody reads the line: the pseudo-terminal fills up and the rest
    // waits, as behind an adapter that has stopped taking data, where the
    // kernel's close would wait up to 30 s for the queue to drain.
    QVERIFY(component.output(QByteArray(256 * 1024, '\x55')));
    const QDeadlineTimer watchdog(10000);
    QVERIFY(component.setPortOpen(false));
    QVERIFY(!watchdog.hasExpired());

    // The reading end's line discipline holds 4096 bytes; the rest was the
    // driver's queue, which the close discarded rather than left to go out.
    const QByteArray late = pty.read(256 * 1024, 500);
    QVERIFY2(late.size() <= 4096, qPrintable(QString::number(late.size())));
}

void TestQtSerialComponent::lastFrameGoesOutBeforeTheSettingsGoBack_data()
{
    QTest::addColumn<bool>("interrupted");
    QTest::newRow("quiet") << false;
    // Every wait of the close is cut short by a signal many times over.
    QTest::newRow("signals during the wait") << true;
}

// QSerialPort puts back at close the settings it found at open (another
// program's 19200, say). A pseudo-terminal cannot tell when its transmitter
// is empty, so the close first gives the last frame its line time at 9600.
void TestQtSerialComponent::lastFrameGoesOutBeforeTheSettingsGoBack()
{
    QFETCH(bool, interrupted);
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid() && openOn(component, pty));
    QElapsedTimer sinceWritten;
    sinceWritten.start();
    QVERIFY(component.output(kReplyA));
    // A signal caught every 200 µs cuts every wait short with EINTR.
    using Action = struct sigaction;
    Action caught{};
    caught.sa_handler = [](int) {};
    sigaction(SIGALRM, &caught, nullptr);
    const itimerval storm{{0, interrupted ? 200 : 0}, {0, interrupted ? 200 : 0}};
    setitimer(ITIMER_REAL, &storm, nullptr);
    const bool closed = component.setPortOpen(false);
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    QVERIFY(closed);
    QVERIFY2(sinceWritten.nsecsElapsed() >= 6 * 10 * 1000000000LL / 9600,
             qPrintable(QString::number(sinceWritten.nsecsElapsed())));
}

void TestQtSerialComponent::vanishedDeviceFailsWrites()
{
    Pty pty;
    QtSerialComponent component;
    QVERIFY(pty.isValid());
    QVERIFY(openOn(component, pty));

    // The port reads end of file from now on, as after an unplug; whatever
    // QSerialPort makes of that must not keep the event loop busy.
    pty.hangUp();
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

    QVERIFY(component.portOpen()); // until the callers close it
    QVERIFY(!component.output(kReplyA));
    QCOMPARE(component.errorDescription(), QtSerialComponent::kDeviceGone);
    QVERIFY(component.setPortOpen(false));
    QVERIFY(!component.setPortOpen(true));
    QCOMPARE(component.errorDescription(), SerialComponent::kInvalidPort);
}

QTEST_MAIN(TestQtSerialComponent)
#include "tst_qtserialcomponent.moc"
