// termios2 lives in the kernel's headers, which clash with <termios.h>: kept in a file of its own.
#include "tty_device.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace comm::tty {

bool getSpeed(int fd, uint32_t* baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    *baud = t.c_ospeed;
    return true;
}

bool setCustomSpeed(int fd, uint32_t baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    return ::ioctl(fd, TCSETSW2, &t) == 0;
}

} // namespace comm::tty
