// Line settings and arbitrary speeds through termios2. Kept apart because
// <asm/termbits.h> and <termios.h> cannot be included in one translation unit.
#pragma once

#include <cstdint>

namespace tidewell::detail {

// The kernel's control-character count (NCCS of termios2).
inline constexpr int kKernelCcCount = 19;

// Flags and control characters in the values <termios.h> uses (the kernel's own).
struct LineSettings {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    unsigned char cc[kKernelCcCount] = {};
    std::uint32_t rate = 0;
};

// The whole kernel line settings of a tty, speeds included, as they were read (opaque
// here: the kernel's struct cannot be named beside <termios.h>).
struct SavedLine {
    alignas(4) unsigned char raw[64] = {};
};

// Reads the line settings into saved (TCGETS2); 0 or errno.
int saveLine(int fd, SavedLine& saved);
// Puts saved back at once (TCSETS2: no wait for output to drain); 0 or errno.
int restoreLine(int fd, const SavedLine& saved);

// Applies flags and speed (any value, BOTHER) in one TCSETS2; 0 or errno.
// Unlike tcsetattr() this does not fail when a pseudo-terminal ignores parity or size.
int applyLineSettings(int fd, const LineSettings& settings);
// Reads the output speed back as the driver holds it; 0 or errno.
int getLineSpeed(int fd, std::uint32_t& rate);

}  // namespace tidewell::detail
