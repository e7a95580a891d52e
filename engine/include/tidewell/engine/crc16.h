// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final
// exclusive-or (check value of "123456789": 0x31C3).
#pragma once

#include <array>
#include <cstdint>

namespace tidewell {

namespace detail {
constexpr std::array<std::uint16_t, 256> makeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) ? ((crc << 1) ^ 0x1021u) : (crc << 1);
        }
        table[i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}
}  // namespace detail

inline constexpr std::array<std::uint16_t, 256> kCrc16Table = detail::makeCrc16Table();

// crc := (crc << 8) ^ table[((crc >> 8) ^ byte) & 0xFF].
void crc16Update(std::uint16_t& crc, std::uint8_t byte);

// Runs crc16Update over length bytes of data; crc then holds the CRC.
void crc16Buffer(std::uint16_t& crc, const std::uint8_t* data, std::uint16_t length);

}  // namespace tidewell
