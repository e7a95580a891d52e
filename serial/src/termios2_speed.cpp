#include "termios2_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace tidewell::detail {

int setLineSpeed(int fd, std::uint32_t rate) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

int getLineSpeed(int fd, std::uint32_t& rate) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    rate = tio.c_ospeed;
    return 0;
}

}  // namespace tidewell::detail
