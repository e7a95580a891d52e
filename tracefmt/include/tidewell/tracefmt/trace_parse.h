// Reading a protocol trace back: the inverse of trace_format.h, line by line. It checks the
// text only (every field where the writer puts it, in the writer's form); what the events
// mean is up to the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/tracefmt/trace_format.h"

namespace tidewell::tracefmt {

inline constexpr std::size_t kHeadingLines = 5;

// What went wrong, and on which line (from 1).
struct ParseError {
    std::size_t line = 0;
    std::string what;

    std::string text() const { return "line " + std::to_string(line) + ": " + what; }
};

// A chunk as the trace shows it: all of its bytes, or, bounded, its two ends.
struct ChunkBytes {
    std::vector<std::uint8_t> shown;
    std::size_t length = 0;    // of the whole chunk
    std::size_t headSize = 0;  // shown bytes before the gap; all of them when whole

    bool whole() const { return shown.size() == length; }
};

// An event's word and its fields, quoted texts unescaped.
struct EventText {
    std::string word;
    std::vector<std::string> fields;
};

struct Record {
    std::size_t line = 0;  // in the file, from 1
    double milliseconds = 0;
    RecordKind kind = RecordKind::event;
    ChunkBytes chunk;  // '<' and '>'
    EventText event;   // '*'
    std::string text;  // the line as it stands, without its "\n"
};

// The heading's lines, at most kHeadingLines of them, each without its "\n".
std::optional<ParseError> parseHeading(const std::vector<std::string_view>& lines,
                                       Heading& heading);

// One record line without its "\n". The error's line is lineNumber.
std::optional<ParseError> parseRecord(std::string_view line, std::size_t lineNumber,
                                      Record& record);

// A whole trace: its heading and records up to the first error, if any. A last line
// without its "\n" is an error (the trace was cut short while being written).
struct ParsedTrace {
    Heading heading;
    std::vector<Record> records;
    std::optional<ParseError> error;
};
ParsedTrace parseTrace(std::string_view text);

}  // namespace tidewell::tracefmt
