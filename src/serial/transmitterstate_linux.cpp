#include "serial/transmitterstate.h"

#include <sys/ioctl.h>

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
