// Bytes with a meaning on the line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tidewell::devsim {

inline constexpr std::uint8_t kSoh = 0x01;  // packet with 128 payload bytes
inline constexpr std::uint8_t kStx = 0x02;  // packet with 1024 payload bytes
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;  // refusal; also "start, checksum mode"
inline constexpr std::uint8_t kCan = 0x18;
inline constexpr std::uint8_t kCrcRequest = 'C';  // "start, CRC mode"
inline constexpr std::uint8_t kPadding = 0x1A;    // fills the sender's last packet
inline constexpr std::uint8_t kCr = '\r';
inline constexpr std::uint8_t kLf = '\n';
inline constexpr std::uint8_t kWakeUp = ' ';
inline constexpr std::uint8_t kDel = 0x7F;

inline constexpr std::size_t kShortPayload = 128;
inline constexpr std::size_t kLongPayload = 1024;

}  // namespace tidewell::devsim
