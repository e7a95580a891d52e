// Arbitrary line speeds through termios2. Kept apart because <asm/termbits.h>
// and <termios.h> cannot be included in one translation unit.
#pragma once

#include <cstdint>

namespace tidewell::detail {

// Sets input and output speed to `rate` (any value, BOTHER); 0 or errno.
int setLineSpeed(int fd, std::uint32_t rate);
// Reads the output speed back as the driver holds it; 0 or errno.
int getLineSpeed(int fd, std::uint32_t& rate);

}  // namespace tidewell::detail
