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
#include <vector>

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

// A start time as the heading gives it: local time and its offset from UTC.
std::string startedText(std::time_t started);

// Every heading line, each ending in "\n".
std::string headingText(const Heading& heading);

// One record line with its "\n".
std::string recordLine(double milliseconds, RecordKind kind, std::string_view rest);

// A chunk's hex and printable column.
std::string chunkText(std::span<const std::uint8_t> bytes, bool allBytes);

// Consecutive chunks of one direction as one record: a port hands over a few bytes at a
// time, and a record per read would make a download's trace several times its data. A run
// ends at the other direction, an event, kRunBytes or a gap over kRunGapMs; the record
// carries the time of its first chunk.
inline constexpr std::size_t kRunBytes = 1100;  // a long packet and then some
inline constexpr double kRunGapMs = 50.0;

class ChunkRun {
  public:
    // The record line of the run so far ("" when there is none) if a chunk of kind at
    // milliseconds cannot join it; the chunk then starts the next run.
    std::string add(double milliseconds, RecordKind kind, std::span<const std::uint8_t> bytes,
                    bool allBytes);
    // The record line of the run so far, "" when there is none; the run is empty afterwards.
    std::string take(bool allBytes);

  private:
    std::vector<std::uint8_t> bytes_;
    RecordKind kind_ = RecordKind::read;
    double first_ = 0;
    double last_ = 0;
};

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
std::string limitEvent(std::size_t bytes);

}  // namespace tidewell::tracefmt
