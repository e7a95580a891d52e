// Fuzz target: a protocol trace read back and summed up (tidewell-cli trace).
//
// Invariants: an error names a line of the input and nothing past it is read; every record
// read is the writer's own line again (its time and kind by recordLine, a chunk by
// chunkText, an event the protocol knows by its writer function); a summary's figures are
// whole (no negative time, a retry only after a packet, no more failed checks than
// packets seen) and its text is made without fault.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "tidewell/engine/protocol.h"
#include "tidewell/tracefmt/trace_format.h"
#include "tidewell/tracefmt/trace_parse.h"
#include "tidewell/traceread/trace_summary.h"

namespace {

using namespace tidewell;
using tracefmt::RecordKind;

constexpr std::size_t kLongestChunk = 1 << 20;

std::size_t lineCount(std::string_view text) {
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

// The chunk the writer would show for what was read: a bounded one's middle is any bytes.
std::string chunkAgain(const tracefmt::ChunkBytes& chunk) {
    if (chunk.whole()) return tracefmt::chunkText(chunk.shown, true);
    std::vector<std::uint8_t> bytes(chunk.shown.begin(), chunk.shown.begin() + chunk.headSize);
    bytes.resize(chunk.length - (chunk.shown.size() - chunk.headSize));
    bytes.insert(bytes.end(), chunk.shown.begin() + chunk.headSize, chunk.shown.end());
    return tracefmt::chunkText(bytes, false);
}

// A known event as its writer writes it; empty for a word the protocol does not know.
std::string eventAgain(const tracefmt::EventText& event) {
    const auto& f = event.fields;
    const auto number = [](const std::string& text) { return std::stoull(text); };
    const std::string& word = event.word;
    if (word == "line") return tracefmt::lineEvent(f[0]);
    if (word == "reply") return tracefmt::replyEvent(f[0], f[1]);
    if (word == "start") return tracefmt::startEvent(f[0] == "C");
    if (word == "packet") {
        return tracefmt::packetEvent(static_cast<std::uint8_t>(number(f[0])), number(f[1]),
                                     f[2] == "good");
    }
    if (word == "send") {
        return tracefmt::sendEvent(static_cast<std::uint8_t>(number(f[0])), number(f[1]));
    }
    using tracefmt::Control;
    const Control controls[] = {Control::ack, Control::nak, Control::can, Control::eot};
    const char* const controlWords[] = {"ack", "nak", "can", "eot"};
    for (int i = 0; i < 4; ++i) {
        if (word == controlWords[i]) return tracefmt::controlEvent(controls[i], f[0] == "out");
    }
    if (word == "timeout") {
        return tracefmt::timeoutEvent(f[0], static_cast<long long>(number(f[1])));
    }
    return "";
}

void checkRecord(const tracefmt::Record& record) {
    // Beyond what a writer writes: a chunk of gigabytes, a wait beyond long long.
    if (record.chunk.length > kLongestChunk) return;
    if (record.event.word == "timeout" && record.event.fields[1].size() > 18) return;
    const std::string rest =
        record.kind == RecordKind::event ? eventAgain(record.event) : chunkAgain(record.chunk);
    if (record.kind == RecordKind::event && rest.empty()) return;
    std::string line = tracefmt::recordLine(record.milliseconds, record.kind, rest);
    line.pop_back();
    TIDEWELL_FUZZ_CHECK(line == record.text, "line " + std::to_string(record.line) +
                                                 " read back as \"" + line + "\", not \"" +
                                                 record.text + "\"");
}

void checkSummary(const traceread::TraceSummary& summary) {
    for (const auto& command : summary.commands) {
        if (!command.transfer) continue;
        const auto& t = *command.transfer;
        TIDEWELL_FUZZ_CHECK(
            t.durationMs >= 0 && t.blocksMs >= 0 && t.longestSilenceMs >= 0 &&
                std::isfinite(t.durationMs) && std::isfinite(t.longestSilenceMs),
            "a negative or endless time in the transfer of line " + std::to_string(command.line));
        TIDEWELL_FUZZ_CHECK(!t.bytesPerSecond || t.blocksMs > 0, "a rate without time");
        if (t.firstAnomaly) {
            TIDEWELL_FUZZ_CHECK(t.firstAnomaly->line > command.line,
                                "an anomaly before its command");
        }
    }
    TIDEWELL_FUZZ_CHECK(!traceread::describe(summary, "fuzz").empty(), "no text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tracefmt::ParsedTrace trace = tracefmt::parseTrace(text);
    if (trace.error) {
        TIDEWELL_FUZZ_CHECK(trace.error->line >= 1 && trace.error->line <= lineCount(text) + 1,
                            "error on line " + std::to_string(trace.error->line) + " of " +
                                std::to_string(lineCount(text)));
        TIDEWELL_FUZZ_CHECK(trace.records.empty() || trace.records.back().line < trace.error->line,
                            "a record read past the error");
    }
    std::size_t previous = tracefmt::kHeadingLines;
    for (const auto& record : trace.records) {
        TIDEWELL_FUZZ_CHECK(record.line == previous + 1, "a line skipped");
        previous = record.line;
        checkRecord(record);
    }
    checkSummary(traceread::summarize(
        trace, {tidewell::protocol::kUploadCommand, tidewell::protocol::kDownloadCommand}));
    return 0;
}
