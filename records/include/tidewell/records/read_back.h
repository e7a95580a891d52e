// Read-back verification: a device file read back after a transfer, compared with
// what was sent.
//
// The device stores what it receives in whole packets, so a file whose size is not a
// multiple of the packet comes back with the padding of its last packet. Only that is
// allowed: the read-back is the sent bytes followed by nothing, or by padding bytes
// that are all 0x00 (this program's sender) or all 0x1A (other XMODEM senders) and end
// exactly at the next multiple of 128 or of 1024 above the sent size. Anything else
// differs: a changed byte, a shorter file, other bytes after the sent ones, mixed or
// longer padding, padding that ends elsewhere.
//
// Files are compared in chunks (constant memory); only regular files are read,
// without blocking.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tidewell {

inline constexpr std::uint8_t kZeroPadding = 0x00;
inline constexpr std::uint8_t kSubPadding = 0x1A;

enum class ReadBackDifference {
    none,
    byte,         // the byte at firstDifference is not the one sent
    shorter,      // the read-back ends at firstDifference, inside what was sent
    notPadding,   // from firstDifference on, the bytes after what was sent are not padding
    paddingEnds,  // padding only, but it ends at firstDifference, not at a packet's end
};

struct ReadBackResult {
    ReadBackDifference difference = ReadBackDifference::none;
    std::uint64_t firstDifference = 0;  // byte offset; 0 when they match
    std::uint64_t sentSize = 0;
    std::uint64_t readSize = 0;
    std::uint64_t paddingBytes = 0;  // when they match

    bool matches() const { return difference == ReadBackDifference::none; }
};

ReadBackResult compareReadBack(std::span<const std::uint8_t> sent,
                               std::span<const std::uint8_t> readBack);

// Nothing, and *why naming the file and the reason, when either cannot be read.
std::optional<ReadBackResult> compareReadBackFiles(const std::filesystem::path& sent,
                                                   const std::filesystem::path& readBack,
                                                   std::string* why = nullptr);

// One line: "the device's file matches what was sent (2000 bytes and 48 bytes of
// padding)", or what differs and from which offset.
std::string describeReadBack(const ReadBackResult& result);

}  // namespace tidewell
