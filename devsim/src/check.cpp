#include "tidewell/devsim/check.h"

namespace tidewell::devsim {

namespace {
constexpr std::uint16_t kPolynomial = 0x1021;
constexpr std::uint16_t kTopBit = 0x8000;
}  // namespace

std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t crc) {
    for (const std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            const bool top = (crc & kTopBit) != 0;
            crc = static_cast<std::uint16_t>(crc << 1);
            if (top) crc = static_cast<std::uint16_t>(crc ^ kPolynomial);
        }
    }
    return crc;
}

std::uint8_t checksum8(std::span<const std::uint8_t> data) {
    unsigned sum = 0;
    for (const std::uint8_t byte : data) sum += byte;
    return static_cast<std::uint8_t>(sum);
}

}  // namespace tidewell::devsim
