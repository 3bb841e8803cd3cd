#include "serial/qtserialcomponent.h"

#include "serial/commandframe.h"
#include "serial/portmap.h"
#include "serial/transmitterstate.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#ifdef ALARM_LINUX_APIS
#include <linux/serial.h>
#endif

namespace {

// A burst ends after this many character times without a byte.
constexpr double kQuietCharacters = 4.0;
constexpr int kMinQuietMs = 2;
// How long closing may wait for queued bytes to reach the device.
constexpr int kCloseDrainMs = 500;

#ifdef Q_OS_UNIX
// Waits on the line until `until`; false when the device hung up or failed
// before.
bool waitOnLine(LineHandle fd, const QDeadlineTimer &until)
{
    int ready = 0;
    do {
        pollfd device{fd, 0, 0};
        ready = ::poll(&device, 1, int(until.remainingTime()));
        // A signal caught meanwhile says nothing of the line.
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}
#else
// Nothing to wait on here: the waits of the close end at once.
bool waitOnLine(LineHandle, const QDeadlineTimer &)
{
    return false;
}
#endif

} // namespace

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    LineSettings settings;
    bool ok = false;
    settings.baudRate = parts.at(0).trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return std::nullopt;

    const QString parity = parts.at(1).trimmed().toLower();
    if (parity == QLatin1String("n"))
        settings.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        settings.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        settings.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        settings.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        settings.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = parts.at(2).trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QString stop = parts.at(3).trimmed();
    if (stop == QLatin1String("1"))
        settings.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        settings.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;

    return settings;
}

double LineSettings::bitsPerCharacter() const
{
    double bits = 1.0 + dataBits;
    if (parity != QSerialPort::NoParity)
        bits += 1.0;
    switch (stopBits) {
    case QSerialPort::OneAndHalfStop:
        bits += 1.5;
        break;
    case QSerialPort::TwoStop:
        bits += 2.0;
        break;
    default:
        bits += 1.0;
        break;
    }
    return bits;
}

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_quiet, &QTimer::timeout, this, &QtSerialComponent::onQuiet);
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComponent::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComponent::onErrorOccurred);
}

QtSerialComponent::~QtSerialComponent()
{
    close();
    m_port.disconnect(this);
}

void QtSerialComponent::setCommPort(int16_t port)
{
    m_commPort = port;
}

bool QtSerialComponent::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = LineSettings::parse(settings);
    if (!parsed)
        return fail(kInvalidSettings + QStringLiteral(": ") + settings);
    m_settings = *parsed;
    if (m_port.isOpen() && !applySettings())
        return fail(kUnsupportedSettings + settings);
    return true;
}

void QtSerialComponent::setInBufferCount(int count)
{
    if (count != 0)
        return;
    m_quiet.stop();
    // Also drops what the driver holds and QSerialPort has not read yet.
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
}

bool QtSerialComponent::setPortOpen(bool open)
{
    if (open)
        return this->open();
    close();
    return true;
}

bool QtSerialComponent::open()
{
    if (m_open)
        return fail(kPortInUse);
    const QString device = deviceForPort(m_commPort);
    if (device.isEmpty())
        return fail(kInvalidPort);

    m_port.setPortName(device);
    applySettings();
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite))
        return fail(openFailure(device));

    m_open = true;
    m_deviceGone = false;
    m_writeFailed = false;
    if (m_receiveLatency == 0)
        requestLowLatency();
    return true;
}

// What the operator must do about a device QSerialPort could not open.
QString QtSerialComponent::openFailure(const QString &device) const
{
#ifdef Q_OS_UNIX
    // QSerialPort's errors lump a missing device, a node with no UART
    // behind it, a refused open and a port held elsewhere together, so the
    // device is opened once more, bare, to see which it is.
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
        case EIO:
        case EISDIR:
        case ELOOP:
            return kInvalidPort;
        case EACCES:
        case EPERM:
            return accessDenied(device);
        case EBUSY:
            return kPortInUse;
        default:
            return kOpenFailed + device;
        }
    }
    const bool serialLine = ::isatty(fd);
    ::close(fd);
    // A regular file or /dev/null is no port at all; a tty that opens
    // bare but not through QSerialPort is locked by another program.
    return serialLine ? kPortInUse : kInvalidPort;
#else
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return kInvalidPort;
    // Windows refuses a port held by another program as access denied.
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return kPortInUse;
    default:
        return kOpenFailed + device;
    }
#endif
}

void QtSerialComponent::close()
{
    m_quiet.stop();
    m_open = false;
    if (!m_port.isOpen()) {
        m_deviceGone = false;
        return;
    }
    // Frames written just before closing must still reach the device, but
    // a line that has stopped taking data gets only the drain time: the
    // kernel's close would wait for what is still queued for up to its
    // closing wait (30 s by default), on the window thread.
    const QDeadlineTimer deadline(kCloseDrainMs);
    m_port.flush();
    while (!m_deviceGone && m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime())))
            break;
        m_lastFrameOut = lineTimeFromNow(kFrameLength);
    }
    const bool driverHoldsBytes = waitForDriverQueue(deadline);
    if (!m_deviceGone && (m_port.bytesToWrite() > 0 || driverHoldsBytes))
        m_port.clear(QSerialPort::Output);
    else if (!m_deviceGone)
        waitForTransmitter(deadline);
    m_port.close();
    // The waits above may have read bytes and started the timer again.
    m_quiet.stop();
    m_deviceGone = false;
}

// Whether the driver still holds bytes for the line when the drain time is
// up. Nothing signals that its queue has gone out, so the wait is for as
// long as the line needs for what is still queued, then a look again.
bool QtSerialComponent::waitForDriverQueue(const QDeadlineTimer &deadline)
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    const int fd = int(m_port.handle());
    int queued = 0;
    while (!m_deviceGone && ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (deadline.hasExpired())
            return true;
        // Only a hang-up or an error of the device ends the wait early.
        if (!waitOnLine(fd, std::min(lineTimeFromNow(queued), deadline)))
            break;
        m_lastFrameOut = lineTimeFromNow(kFrameLength);
    }
#else
    Q_UNUSED(deadline);
#endif
    return false;
}

// The driver's queue leaves out what the UART's FIFO or a USB adapter's chip
// still holds, and QSerialPort::close() puts back the settings it found at
// open at once: the tail of the last frame would go out at another speed.
// The wait is for a frame's line time after the frame left, and where the
// driver tells, until the transmitter is empty (an adapter's report may lag
// the frame it has just taken, hence both).
void QtSerialComponent::waitForTransmitter(const QDeadlineTimer &deadline)
{
    const LineHandle handle = m_port.handle();
    if (!waitOnLine(handle, std::min(m_lastFrameOut, deadline)))
        return;
    std::optional<bool> empty;
    while ((empty = transmitterEmpty(handle)) && !*empty && !deadline.hasExpired()) {
        if (!waitOnLine(handle, std::min(lineTimeFromNow(1), deadline)))
            return;
    }
}

QDeadlineTimer QtSerialComponent::lineTimeFromNow(int characters) const
{
    const double ns = characters * m_settings.bitsPerCharacter() * 1e9 / m_settings.baudRate;
    return QDeadlineTimer(std::chrono::nanoseconds(std::llround(std::ceil(ns))), Qt::PreciseTimer);
}

bool QtSerialComponent::applySettings()
{
    // All four are attempted so one unsupported value does not leave the
    // others stale.
    bool ok = m_port.setBaudRate(m_settings.baudRate);
    ok = m_port.setParity(m_settings.parity) && ok;
    ok = m_port.setDataBits(m_settings.dataBits) && ok;
    ok = m_port.setStopBits(m_settings.stopBits) && ok;
    ok = m_port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    return ok;
}

void QtSerialComponent::requestLowLatency()
{
#ifdef ALARM_LINUX_APIS
    // The 8250 driver otherwise hands bytes up in batches; a device without
    // the ioctl (pseudo-terminals, some USB adapters) works as it is.
    const int fd = int(m_port.handle());
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
#endif
}

int QtSerialComponent::quietIntervalMs() const
{
    const double ms = kQuietCharacters * m_settings.bitsPerCharacter() * 1000.0 / m_settings.baudRate;
    return std::max(kMinQuietMs, int(std::lround(ms)));
}

bool QtSerialComponent::output(const QByteArray &bytes)
{
    if (!m_open)
        return fail(kPortClosed);
    if (m_deviceGone || !m_port.isOpen())
        return fail(kDeviceGone);
    if (bytes.isEmpty())
        return true;

    m_writeFailed = false;
    if (m_port.write(bytes) != bytes.size())
        return fail(m_deviceGone ? kDeviceGone : kWriteFailed);
    // Hand the frame to the driver now rather than on the next turn of the
    // event loop; errors surface through onErrorOccurred meanwhile.
    m_port.flush();
    m_lastFrameOut = lineTimeFromNow(kFrameLength);
    if (m_deviceGone)
        return fail(kDeviceGone);
    if (m_writeFailed)
        return fail(kWriteFailed);
    return true;
}

int QtSerialComponent::inBufferCount() const
{
    if (!m_port.isOpen())
        return 0;
    return int(std::min<qint64>(m_port.bytesAvailable(), std::numeric_limits<int>::max()));
}

QByteArray QtSerialComponent::input()
{
    if (!m_port.isOpen())
        return {};
    return m_port.readAll();
}

void QtSerialComponent::onReadyRead()
{
    const qint64 waiting = m_port.bytesAvailable();
    if (waiting <= 0)
        return;
    // OnComm is always raised from the timer: a handler that closes the port
    // must not do so inside QSerialPort's own read notification.
    m_quiet.start(waiting >= kFrameLength ? 0 : quietIntervalMs());
}

void QtSerialComponent::onQuiet()
{
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        emit OnComm();
}

void QtSerialComponent::releaseLostDevice()
{
    // A reopen since the loss has cleared m_deviceGone and owns the port.
    if (m_deviceGone && m_port.isOpen())
        m_port.close();
}

void QtSerialComponent::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // QSerialPort reports a full output queue (EAGAIN) as ResourceError too,
    // straight from the failed call; it keeps the rest queued and sends it
    // when the device takes more.
    if (error == QSerialPort::ResourceError && errno == EAGAIN)
        return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
        // A hung-up tty reads as end of file and QSerialPort keeps polling
        // it, reporting ReadError in a busy loop; only closing stops that.
        // Closed on the next turn, not inside QSerialPort's notification.
        if (!m_deviceGone) {
            m_deviceGone = true;
            m_quiet.stop();
            QMetaObject::invokeMethod(this, &QtSerialComponent::releaseLostDevice, Qt::QueuedConnection);
        }
        break;
    case QSerialPort::WriteError:
        m_writeFailed = true;
        break;
    default:
        break;
    }
}
