// A protocol trace summed up: each command line with its reply, and for each transfer what
// got through, what it cost, and the first thing that went wrong. The trace may be either
// end's: `line` is always the host's command and `reply` the device's answer, and a
// transfer's packets count alike whether this side sent them or received them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/tracefmt/trace_parse.h"

namespace tidewell::traceread {

// The leading words of the command lines that start a transfer, as the device reads them
// ("download NAME": the device receives NAME). The protocol's owner hands them in.
struct TransferWords {
    std::string_view toDevice;
    std::string_view fromDevice;
};

struct Anomaly {
    double milliseconds = 0;
    std::size_t line = 0;
    std::string text;    // "packet 1 failed its check"
    std::string before;  // the chunk record just before it, as it stands; empty: none
    std::string after;   // and just after it
};

enum class TransferEnd {
    result,       // its result event
    finished,     // this side posts no results: its blocks ended (or it was refused)
    nextCommand,  // another command line came first
    traceLimit,   // the writer stopped at its size limit: on purpose
    cutShort,     // the trace ends without its result
};

struct Transfer {
    bool toDevice = false;
    std::uint64_t bytes = 0;    // payload of the packets delivered
    std::uint64_t packets = 0;  // distinct packets delivered
    std::uint64_t retries = 0;  // packets sent or received again
    std::uint64_t failedChecks = 0;
    double longestSilenceMs = 0;  // nothing on the line, beyond the bytes' own line time
    double durationMs = 0;        // from the command line to its end
    double blocksMs = 0;          // from the first start request or packet to the last answer
    std::optional<double> bytesPerSecond;  // over the blocks; none when they took no time
    std::optional<double> lineShare;       // of speed/10 bytes/s; none when the speed is unknown
    // The result's name ("resTransferOk", its code when unnamed); without one the final
    // reply's mark ("ok", "error"); empty: none.
    std::string result;
    TransferEnd end = TransferEnd::cutShort;
    std::optional<Anomaly> firstAnomaly;
};

struct Command {
    std::size_t line = 0;
    double milliseconds = 0;
    std::string text;
    std::string reply;   // the line that carries its mark, else its last reply line
    std::string mark;    // "ok", "error", "none"; empty: no reply
    std::string result;  // the result event that ended it; empty: none
    std::optional<Transfer> transfer;
};

struct TraceSummary {
    tracefmt::Heading heading;
    std::vector<Command> commands;
    std::optional<std::uint64_t> limitBytes;  // the writer's size limit, when it was reached
    std::size_t lastLine = 0;
    std::optional<tracefmt::ParseError> parseError;

    // What makes the trace incomplete: a line the parser refused, or a transfer the trace
    // ends in (reported on the last line); none for a trace stopped at its limit.
    std::optional<tracefmt::ParseError> problem() const;
};

TraceSummary summarize(const tracefmt::ParsedTrace& trace, const TransferWords& words);

// For a technician: the heading, then a line per command and a short block per transfer.
std::string describe(const TraceSummary& summary, std::string_view name);

}  // namespace tidewell::traceread
