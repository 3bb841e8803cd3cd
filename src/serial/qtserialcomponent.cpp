#include "serial/qtserialcomponent.h"

#include "serial/commandframe.h"
#include "serial/portmap.h"
#include "serial/serialdriver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// How long closing may wait for queued bytes to reach the device.
constexpr int kCloseDrainMs = 500;

} // namespace

QtSerialComponent::QtSerialComponent(QObject *parent)
    : SerialComponent(parent)
{
    connect(&m_bursts, &ReceiveBursts::burstEnded, this, &QtSerialComponent::onBurstEnded);
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
        return fail(PortError::InvalidSettings, settings);
    m_settings = *parsed;
    m_bursts.setLineSettings(m_settings);
    if (m_port.isOpen() && !applySettings())
        return fail(PortError::UnsupportedSettings, settings);
    return true;
}

void QtSerialComponent::setInBufferCount(int count)
{
    if (count != 0)
        return;
    m_bursts.stop();
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
        return fail(PortError::PortInUse);
    const QString device = deviceForPort(m_commPort);
    if (device.isEmpty())
        return fail(PortError::NoSuchPort);

    m_port.setPortName(device);
    applySettings();
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const PortError error = openFailure(device, m_port.error());
        // Only these texts name the device.
        const bool named = error == PortError::AccessDenied || error == PortError::OpenFailed;
        return fail(error, named ? device : QString());
    }

    m_open = true;
    m_deviceGone = false;
    m_writeFailed = false;
    if (m_receiveLatency == 0)
        requestLowLatency(m_port.handle());
    return true;
}

void QtSerialComponent::close()
{
    m_bursts.stop();
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
    m_bursts.stop();
    m_deviceGone = false;
}

// Whether the driver still holds bytes for the line when the drain time is
// up. Nothing signals that its queue has gone out, so the wait is for as
// long as the line needs for what is still queued, then a look again.
bool QtSerialComponent::waitForDriverQueue(const QDeadlineTimer &deadline)
{
    const LineHandle handle = m_port.handle();
    std::optional<int> queued;
    while (!m_deviceGone && (queued = driverQueued(handle)) && *queued > 0) {
        if (deadline.hasExpired())
            return true;
        // Only a hang-up or an error of the device ends the wait early.
        if (!waitOnLine(handle, std::min(lineTimeFromNow(*queued), deadline)))
            break;
        m_lastFrameOut = lineTimeFromNow(kFrameLength);
    }
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
    const double ns = characters * LineSettings::kBitsPerCharacter * 1e9 / m_settings.baudRate;
    return QDeadlineTimer(std::chrono::nanoseconds(std::llround(std::ceil(ns))), Qt::PreciseTimer);
}

bool QtSerialComponent::applySettings()
{
    // All four are attempted so one unsupported value does not leave the
    // others stale.
    bool ok = m_port.setBaudRate(m_settings.baudRate);
    ok = m_port.setParity(QSerialPort::NoParity) && ok;
    ok = m_port.setDataBits(QSerialPort::Data8) && ok;
    ok = m_port.setStopBits(QSerialPort::OneStop) && ok;
    ok = m_port.setFlowControl(QSerialPort::NoFlowControl) && ok;
    return ok;
}

bool QtSerialComponent::output(const QByteArray &bytes)
{
    if (!m_open)
        return fail(PortError::PortClosed);
    if (m_deviceGone || !m_port.isOpen())
        return fail(PortError::DeviceGone);
    if (bytes.isEmpty())
        return true;

    m_writeFailed = false;
    if (m_port.write(bytes) != bytes.size())
        return fail(m_deviceGone ? PortError::DeviceGone : PortError::WriteFailed);
    // Hand the frame to the driver now rather than on the next turn of the
    // event loop; errors surface through onErrorOccurred meanwhile.
    m_port.flush();
    m_lastFrameOut = lineTimeFromNow(kFrameLength);
    if (m_deviceGone)
        return fail(PortError::DeviceGone);
    if (m_writeFailed)
        return fail(PortError::WriteFailed);
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
    m_bursts.bytesWaiting(m_port.bytesAvailable());
}

void QtSerialComponent::onBurstEnded()
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
            m_bursts.stop();
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
