#pragma once

#include <QByteArray>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A pseudo-terminal whose slave is locked: the node exists but opening it
// fails with EIO, as a legacy ttyS node with no UART behind it does.
class LockedPty
{
public:
    LockedPty()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        int lock = 1;
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::ioctl(m_master, TIOCSPTLCK, &lock) == 0)
            m_slavePath = QByteArray(::ptsname(m_master));
    }
    ~LockedPty()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    LockedPty(const LockedPty &) = delete;
    LockedPty &operator=(const LockedPty &) = delete;

    // Empty when no pseudo-terminal could be had.
    QByteArray slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    QByteArray m_slavePath;
};
