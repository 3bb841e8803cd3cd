#include "serial/serialdriver.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

PortError openFailure(const QString &device, QSerialPort::SerialPortError)
{
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
            return PortError::NoSuchPort;
        case EACCES:
        case EPERM:
            return PortError::AccessDenied;
        case EBUSY:
            return PortError::PortInUse;
        default:
            return PortError::OpenFailed;
        }
    }
    const bool serialLine = ::isatty(fd);
    ::close(fd);
    // A regular file or /dev/null is no port at all; a tty that opens
    // bare but not through QSerialPort is locked by another program.
    return serialLine ? PortError::PortInUse : PortError::NoSuchPort;
}

bool waitOnLine(LineHandle handle, const QDeadlineTimer &until)
{
    int ready = 0;
    do {
        pollfd device{handle, 0, 0};
        ready = ::poll(&device, 1, int(until.remainingTime()));
        // A signal caught meanwhile says nothing of the line.
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}

std::optional<int> driverQueued(LineHandle handle)
{
    int queued = 0;
    if (::ioctl(handle, TIOCOUTQ, &queued) != 0)
        return std::nullopt;
    return queued;
}

std::optional<bool> transmitterEmpty(LineHandle handle)
{
    // UART drivers answer from the line status register, FTDI adapters from
    // the chip's last status report; pseudo-terminals and most other USB
    // adapters do not answer.
    unsigned int status = 0;
    if (::ioctl(handle, TIOCSERGETLSR, &status) != 0)
        return std::nullopt;
    return (status & TIOCSER_TEMT) != 0;
}

void requestLowLatency(LineHandle handle)
{
    // The 8250 driver otherwise hands bytes up in batches; a device without
    // the ioctl (pseudo-terminals, some USB adapters) works as it is.
    serial_struct serial{};
    if (::ioctl(handle, TIOCGSERIAL, &serial) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(handle, TIOCSSERIAL, &serial);
}
