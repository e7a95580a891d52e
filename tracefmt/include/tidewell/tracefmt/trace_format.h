// The lines of a protocol trace (the format: tidewell/engine/trace.h): its heading, a
// record's time stamp and kind, a chunk of bytes in hex with its printable column, a
// quoted text. Only the text: what the records mean is up to the writer.
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

// The events' texts, as either end of the line writes them.
enum class Control { ack, nak, can, eot };
std::string lineEvent(std::string_view line);
std::string replyEvent(std::string_view line, std::string_view mark);  // "ok", "error", "none"
std::string startEvent(bool crc);
std::string packetEvent(std::uint8_t number, std::size_t size, bool good);
std::string sendEvent(std::uint8_t number, std::size_t size);
std::string controlEvent(Control what, bool sent);
std::string timeoutEvent(std::string_view what, long long milliseconds);

}  // namespace tidewell::tracefmt
