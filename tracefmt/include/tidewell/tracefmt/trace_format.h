// The text of a protocol trace, line by line. UTF-8, one record per line, "\n" ends.
//
// Heading, each line "# ":
//   # tidewell trace 1
//   # program NAME VERSION
//   # port LABEL PATH
//   # speed BAUD                          (0: not known)
//   # started 2026-12-09 22:40:01 +0000   (local time and its offset)
// Records: "%10.3f" milliseconds since the start, a space, the kind, a space, the rest.
//   > bytes written to the device, < bytes read from it, one record per chunk:
//     "02 01 fe  |...|" (hex, then the bytes 0x20..0x7e as themselves, others as '.').
//     A chunk over 48 bytes shows, unless every byte is asked for, its first 16 bytes,
//     " .. N bytes .. " (N its length) and its last 16; the column "|16..16|".
//   * a protocol event: a word, then fields separated by spaces; texts in double
//     quotes, '"' and '\' escaped with '\', control bytes as \xNN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace tidewell::tracefmt {

inline constexpr int kFormatVersion = 1;
inline constexpr std::size_t kBoundedChunk = 48;  // longest chunk shown whole by default
inline constexpr std::size_t kEdgeBytes = 16;     // shown at each end of a longer one

// written and read: by the program that keeps the trace.
enum class RecordKind : char { written = '>', read = '<', event = '*' };

struct Heading {
    std::string program;
    std::string version;
    std::string portLabel;
    std::string devicePath;
    std::uint32_t speed = 0;
    std::time_t started = 0;
};

// Every heading line, each ending in "\n".
std::string headingText(const Heading& heading);

// One record line with its "\n".
std::string recordLine(double milliseconds, RecordKind kind, std::string_view rest);

// A chunk's hex and printable column.
std::string chunkText(std::span<const std::uint8_t> bytes, bool allBytes);

// text in double quotes, escaped.
std::string quoted(std::string_view text);

}  // namespace tidewell::tracefmt
