#include "termios2_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace tidewell::detail {

static_assert(NCCS == kKernelCcCount);
static_assert(sizeof(struct termios2) <= sizeof(SavedLine::raw));

int saveLine(int fd, SavedLine& saved) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    std::memcpy(saved.raw, &tio, sizeof tio);
    return 0;
}

int restoreLine(int fd, const SavedLine& saved) {
    struct termios2 tio {};
    std::memcpy(&tio, saved.raw, sizeof tio);
    if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

int applyLineSettings(int fd, const LineSettings& settings) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
    tio.c_iflag = settings.iflag;
    tio.c_oflag = settings.oflag;
    tio.c_lflag = settings.lflag;
    tio.c_cflag = settings.cflag & ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    for (int i = 0; i < NCCS; ++i) tio.c_cc[i] = settings.cc[i];
    tio.c_ispeed = settings.rate;
    tio.c_ospeed = settings.rate;
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
