// Check values of the block transfer, written bit by bit on purpose: the device
// shares no code with the computer's side of the line.
#pragma once

#include <cstdint>
#include <span>

namespace tidewell::devsim {

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, most significant bit first,
// no reflection, no final exclusive-or. Continues from crc, so a payload
// followed by its CRC (high byte first) yields 0.
std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t crc = 0);

// Sum of the bytes modulo 256.
std::uint8_t checksum8(std::span<const std::uint8_t> data);

}  // namespace tidewell::devsim
