#include "tidewell/engine/crc16.h"

namespace tidewell {

static_assert(kCrc16Table[0] == 0x0000 && kCrc16Table[1] == 0x1021 && kCrc16Table[2] == 0x2042 &&
              kCrc16Table[3] == 0x3063 && kCrc16Table[255] == 0x1EF0);

void crc16Update(std::uint16_t& crc, std::uint8_t byte) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ byte) & 0xFFu]);
}

void crc16Buffer(std::uint16_t& crc, const std::uint8_t* data, std::uint16_t length) {
    for (std::uint16_t i = 0; i < length; ++i) {
        crc16Update(crc, data[i]);
    }
}

}  // namespace tidewell
