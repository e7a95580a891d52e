// Reads a tty's speed as termios2 holds it; apart because <asm/termbits.h> clashes
// with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace tidewell::test {

bool probeLineSpeed(int fd, std::uint32_t& input, std::uint32_t& output) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    input = tio.c_ispeed;
    output = tio.c_ospeed;
    return (tio.c_cflag & CBAUD) == BOTHER;
}

}  // namespace tidewell::test
