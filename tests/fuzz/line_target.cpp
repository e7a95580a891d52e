// Fuzz target: the engine's line layer against a device whose every byte comes from the
// input (device_script.h). The input's first byte chooses what runs: detection and then,
// once detected, log-in; log-in alone; the terminal loop (a line queued whenever the device
// waits for one); or readLine and readReply in turn. Detection, the terminal loop and the
// reads are cancelled once the device has been quiet for a while.
//
// Invariants: results are the documented ones (detection 2, 3 or 12; log-in 2, 4 or 12);
// detection reports 3 only once ":LOGIN:" was read, leaves the prompt at the front of the
// receive buffer, and never misses a prompt it read; 12 only on a line that hung up or
// stopped taking data; log-in writes "\r\n" and "pivot\r" and nothing else; the lines
// returned and posted are those the device sent, cut as the line layer promises (CR ends a
// line, LF is dropped, a run of kMaxLineLength bytes is a line of its own), in order, none
// lost; readReply is true exactly for lines holding ":OK:" or ":ERROR:".
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine_rig.h"
#include "fuzz_check.h"

namespace {

using namespace std::chrono_literals;
using namespace tidewell;
using namespace tidewell::fuzz;

// Quiet that ends the commands without an end of their own. Detection reads every 9 ms, so a
// prompt it read is found well within its tail; each of its attempts costs a write and a read.
// A colon that starts no prompt costs one attempt, so the tail grows with the colons buffered.
constexpr auto kQuiet = 2s;
constexpr auto kDetectionQuiet = 200ms;
constexpr auto kDetectionQuietPerColon = 20ms;

struct Lines {
    std::vector<std::string> complete;
    std::string rest;  // raw bytes after the last complete line
};

// The lines in bytes, as the line layer must cut them.
Lines cutLines(std::string_view bytes) {
    Lines out;
    std::string line;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const bool end = c == '\r' || i + 1 - start >= CTidewellThread::kMaxLineLength;
        if (c != '\r' && c != '\n') line.push_back(c);
        if (end) {
            out.complete.push_back(std::move(line));
            line.clear();
            start = i + 1;
        }
    }
    out.rest = std::string(bytes.substr(start));
    return out;
}

std::string buffered(EngineRig& rig) {
    const auto& buffer = rig.worker().receiveBuffer();
    return {buffer.begin(), buffer.end()};
}

// What was returned or posted, then what stays buffered, is everything read, cut in lines.
void checkLines(EngineRig& rig, const std::vector<std::string>& lines, std::string_view read) {
    const Lines all = cutLines(read);
    const Lines left = cutLines(buffered(rig));
    TIDEWELL_FUZZ_CHECK(lines.size() + left.complete.size() == all.complete.size(),
                        std::to_string(lines.size()) + " lines given and " +
                            std::to_string(left.complete.size()) + " left of " +
                            std::to_string(all.complete.size()) + " read");
    for (std::size_t i = 0; i < all.complete.size(); ++i) {
        const std::string& got = i < lines.size() ? lines[i] : left.complete[i - lines.size()];
        TIDEWELL_FUZZ_CHECK(got == all.complete[i], "line " + std::to_string(i) + " differs");
    }
    TIDEWELL_FUZZ_CHECK(left.rest == all.rest, "the unfinished line differs");
}

// The posted texts from index from on, without the one naming a lost link.
std::vector<std::string> postedLines(EngineRig& rig, std::size_t from = 0) {
    auto texts = rig.recorder().texts();
    texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(from));
    if (rig.lostLink()) {
        const std::string lost = rig.worker().linkError();
        const auto at = std::find(texts.begin(), texts.end(), lost);
        TIDEWELL_FUZZ_CHECK(at != texts.end(), "a lost link not posted");
        texts.erase(at);
    }
    return texts;
}

void checkLost(EngineRig& rig, std::int32_t result) {
    TIDEWELL_FUZZ_CHECK(result != resDeviceLost || rig.lostLink(), "device lost without a loss");
    TIDEWELL_FUZZ_CHECK(!rig.lostLink() || rig.script().lineFaulted(),
                        "a lost link on a line that never failed");
}

std::int32_t detect(EngineRig& rig) {
    // The tail is set once, when the quiet first passes: the colons are used up meanwhile.
    std::optional<std::chrono::milliseconds> tail;
    rig.whenQuiet(kDetectionQuiet, [&rig, &tail] {
        if (!tail) {
            const auto& buffer = rig.worker().receiveBuffer();
            tail = kDetectionQuiet + std::count(buffer.begin(), buffer.end(), std::uint8_t{':'}) *
                                         kDetectionQuietPerColon;
        }
        if (rig.clock().now() - rig.script().lastRelease() >= *tail) rig.worker().cancel();
    });
    std::int32_t result = -1;
    rig.run([&] { result = rig.worker().detectDevice(); });
    rig.whenQuiet(kDetectionQuiet, nullptr);  // tail is about to go
    const std::string read = rig.readBytes();
    const bool prompt = read.find(":LOGIN:") != std::string::npos;
    TIDEWELL_FUZZ_CHECK(oneOf(result, {resStopped, resDetected, resDeviceLost}),
                        "detection gave " + std::to_string(result));
    TIDEWELL_FUZZ_CHECK(result != resDetected || (prompt && buffered(rig).starts_with(":LOGIN:")),
                        "detected without the prompt at the front");
    TIDEWELL_FUZZ_CHECK(result != resStopped || rig.capped() || !prompt,
                        "a prompt read, yet detection went on");
    checkLost(rig, result);
    const auto posted = rig.recorder().results();
    TIDEWELL_FUZZ_CHECK(result == resStopped ? posted.empty() : posted == std::vector{result},
                        "detection's posted results differ from its result");
    for (const std::string& w : rig.writes()) {
        TIDEWELL_FUZZ_CHECK(w == "   ", "detection wrote something other than its wake-up");
    }
    return result;
}

void login(EngineRig& rig) {
    rig.whenQuiet(kQuiet, nullptr);
    const std::size_t from = rig.exchanges();
    const std::size_t notesBefore = rig.recorder().texts().size();
    std::int32_t result = -1;
    rig.run([&] { result = rig.worker().login(); });
    TIDEWELL_FUZZ_CHECK(oneOf(result, {resStopped, resLoggedIn, resLoginFailed, resDeviceLost}),
                        "log-in gave " + std::to_string(result));
    checkLost(rig, result);
    const auto writes = rig.writes(from);
    const std::vector<std::string> expected = {"\r\n", "pivot\r"};
    TIDEWELL_FUZZ_CHECK(
        writes.size() <= 2 && std::equal(writes.begin(), writes.end(), expected.begin()),
        "log-in wrote something other than \\r\\n and pivot\\r");
    TIDEWELL_FUZZ_CHECK(result != resLoggedIn || writes.size() == 2, "logged in without pivot");
    const auto texts = postedLines(rig, notesBefore);
    const auto mostLines = static_cast<std::size_t>(4 + EngineTiming{}.commandReplyAttempts);
    TIDEWELL_FUZZ_CHECK(texts.size() <= mostLines, "log-in took more lines than its waits allow");
    TIDEWELL_FUZZ_CHECK(
        result != resLoggedIn ||
            std::any_of(texts.begin(), texts.end(),
                        [](const std::string& t) { return t.find(":OK:") != std::string::npos; }),
        "logged in without :OK:");
    checkLines(rig, texts, rig.readBytes(from));
}

void terminal(EngineRig& rig) {
    // Another line (refused while one waits to be sent) for as long as the device waits for one.
    rig.whenQuiet(kQuiet, [&rig] {
        if (rig.script().awaitsWrite()) {
            rig.worker().queueCommandLine("ls");
        } else {
            rig.worker().cancel();
        }
    });
    TIDEWELL_FUZZ_CHECK(rig.worker().queueCommandLine("help"), "the line was refused");
    rig.run([&] { rig.worker().runTerminal(); });
    TIDEWELL_FUZZ_CHECK(rig.recorder().results().empty(), "the terminal loop posted a result");
    for (const std::string& w : rig.writes()) {
        TIDEWELL_FUZZ_CHECK(w == "help\r" || w == "ls\r", "the terminal loop wrote a stray line");
    }
    checkLost(rig, resStopped);
    checkLines(rig, postedLines(rig), rig.readBytes());
}

void reads(EngineRig& rig) {
    rig.whenQuiet(kQuiet, [&rig] { rig.worker().cancel(); });
    struct Call {
        bool reply;
        bool done;
        std::string line;
        std::size_t posted;
    };
    std::vector<Call> calls;
    rig.run([&] {
        for (bool reply = false; rig.worker().isActive(); reply = !reply) {
            const std::size_t before = rig.recorder().count();
            std::string line;
            const bool done =
                reply ? rig.worker().readReply(line, 200ms) : rig.worker().readLine(line, 200ms);
            calls.push_back({reply, done, line, rig.recorder().count() - before});
            if (rig.worker().deviceLost()) break;
        }
    });
    checkLost(rig, resStopped);
    TIDEWELL_FUZZ_CHECK(rig.recorder().results().empty(), "a read posted a result");
    const auto texts = postedLines(rig);
    std::size_t next = 0;
    for (const Call& call : calls) {
        const bool lost = call.posted > 0 && rig.worker().deviceLost() && &call == &calls.back();
        const std::size_t lines = call.posted - (lost ? 1 : 0);
        TIDEWELL_FUZZ_CHECK(lines <= 1, "one read posted " + std::to_string(lines) + " lines");
        if (lines == 0) {
            TIDEWELL_FUZZ_CHECK(!call.done && call.line.empty(), "a line returned, none posted");
            continue;
        }
        TIDEWELL_FUZZ_CHECK(next < texts.size() && call.line == texts[next++],
                            "the line returned differs from the line posted");
        const bool marked = call.line.find(":OK:") != std::string::npos ||
                            call.line.find(":ERROR:") != std::string::npos;
        TIDEWELL_FUZZ_CHECK(call.done == (!call.reply || marked),
                            call.reply ? "readReply's verdict is wrong" : "readLine failed");
    }
    checkLines(rig, texts, rig.readBytes());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    EngineRig& rig = engineRig();
    rig.begin({data + 1, size - 1});
    switch (data[0] % 4) {
        case 0:
            if (detect(rig) == resDetected) login(rig);
            break;
        case 1:
            login(rig);
            break;
        case 2:
            terminal(rig);
            break;
        default:
            reads(rig);
            break;
    }
    return 0;
}
