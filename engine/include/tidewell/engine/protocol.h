// Texts, control bytes and limits of the device's line protocol and block transfer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tidewell/engine/reply_marks.h"

namespace tidewell::protocol {

inline constexpr std::string_view kWakeUp = "   ";
inline constexpr std::string_view kLineBreak = "\r\n";
inline constexpr std::string_view kLoginPrompt = ":LOGIN:";
inline constexpr std::string_view kLoginWord = "pivot";
// A transfer's command line names the way from the device's side.
inline constexpr std::string_view kUploadCommand = "download ";
inline constexpr std::string_view kDownloadCommand = "upload ";

inline constexpr std::uint8_t kCarriageReturn = 0x0D;
inline constexpr std::uint8_t kLineFeed = 0x0A;

inline constexpr std::size_t kBytesPerRead = 16;
// Reads one detection attempt makes while each finds the read full: what is waiting
// is taken in one attempt (a boot log must not cost an attempt per 16 bytes), yet a
// device that never stops sending still gets its wake-up every 8 KiB.
inline constexpr int kDetectDrainReads = 512;
// Start bit, eight data bits, stop bit.
inline constexpr unsigned kBitsPerByte = 10;
inline constexpr int kLoginReplyLines = 4;

// Time bytes take on a line of baud bit/s, rounded up; 0 when the speed is unknown.
constexpr std::chrono::milliseconds lineTime(std::size_t bytes, std::uint64_t baud) {
    if (baud == 0) {
        return std::chrono::milliseconds{0};
    }
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes) * kBitsPerByte * 1000;
    return std::chrono::milliseconds{static_cast<std::int64_t>((bits + baud - 1) / baud)};
}

inline constexpr std::uint8_t SOH = 0x01;
inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;
inline constexpr std::uint8_t CAN = 0x18;
inline constexpr std::uint8_t CRC_REQUEST = 0x43;  // 'C'

inline constexpr std::size_t kShortPayload = 128;
inline constexpr std::size_t kLongPayload = 1024;
inline constexpr std::size_t kHeaderLength = 3;  // header, number, complement
inline constexpr std::size_t kMaxPacketLength = kHeaderLength + kLongPayload + 2;

inline constexpr int kSenderStartAttempts = 60;
inline constexpr int kSenderPacketSends = 25;
inline constexpr int kSenderEotSends = 10;
inline constexpr int kReceiverHeaderAttempts = 60;
inline constexpr int kReceiverPacketFailures = 16;
inline constexpr int kCancelBytes = 3;

inline constexpr std::string_view kSyncNotFound = "Error: Sync token not found.";
inline constexpr std::string_view kSequenceCorrupt = "Error: Packet sequence is corrupt.";
inline constexpr std::string_view kTooManyRetry = "Error: Too many retry.";
inline constexpr std::string_view kWriteFileException = "Error: Write file exception.";

}  // namespace tidewell::protocol
