#include "engine_rig.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "fuzz_check.h"

namespace tidewell::fuzz {

namespace fs = std::filesystem;

EngineRig::EngineRig() {
    port_ = testing::openScriptedPort(line_);
    portRef_ = port_.get();
    worker_ = std::make_unique<testing::ProbeWorker>(portRef_, cmdIdle, nullptr,
                                                     testing::simulatedTiming(clock_));
    worker_->start(true);
}

EngineRig::~EngineRig() {
    worker_.reset();  // before the port it reads
}

void EngineRig::begin(std::span<const std::uint8_t> data) {
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
    fs::create_directories(scratch_);
    clock_->reset();
    capped_ = false;
    lostLink_ = false;
    transcript_.clear();
    whenQuiet_ = nullptr;
    script_ = std::make_shared<DeviceScript>(data, clock_->now());
    line_->reset();
    line_->useVirtualTime(clock_, script_);
    line_->onWrite(
        [this](testing::ScriptedLine&, const std::string&) { script_->hostWrote(clock_->now()); });
    line_->onRead([this](testing::ScriptedLine&, int) { onRead(); });
    recorder_ = std::make_unique<testing::Recorder>();
    recorder_->attachTo(*worker_);
    // The worker is idle: what an earlier input left behind goes.
    worker_->receiveBuffer().clear();
    worker_->clearPendingLine();
}

void EngineRig::whenQuiet(std::chrono::milliseconds quiet, std::function<void()> action) {
    quiet_ = quiet;
    whenQuiet_ = std::move(action);
}

// On the worker thread, at the start of every read.
void EngineRig::onRead() {
    const std::size_t buffered = worker_->receiveBuffer().size();
    TIDEWELL_FUZZ_CHECK(buffered <= CTidewellThread::kRxBufferLimit,
                        "the receive buffer holds " + std::to_string(buffered) + " bytes");
    const auto now = clock_->now();
    if (now - SimClock::kStart >= kTimeCap) {
        capped_ = true;
        worker_->cancel();
    }
    if (whenQuiet_ && script_->idle() && now - script_->lastRelease() >= quiet_) {
        whenQuiet_();
    }
}

namespace {

std::string printable(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out.push_back(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out.size() > 120 ? out.substr(0, 120) + "... (" + std::to_string(bytes.size()) + ")"
                            : out;
}

// TIDEWELL_FUZZ_ENGINE_TRACE set: what a run did, on stderr, to read what an input does.
void trace(const testing::ScriptedLine& line, const testing::Recorder& recorder,
           std::chrono::milliseconds elapsed) {
    if (std::getenv("TIDEWELL_FUZZ_ENGINE_TRACE") == nullptr) return;
    // Reads in a row are shown as one.
    std::string read;
    for (const auto& exchange : line.transcript()) {
        if (!exchange.fromEngine) {
            read += exchange.bytes;
            continue;
        }
        if (!read.empty())
            std::fprintf(stderr, "<< %s\n", printable(std::exchange(read, {})).c_str());
        std::fprintf(stderr, "%s %s\n", exchange.taken ? ">>" : ">|",
                     printable(exchange.bytes).c_str());
    }
    if (!read.empty()) std::fprintf(stderr, "<< %s\n", printable(read).c_str());
    for (const auto& note : recorder.all()) {
        if (note.kind == notifyText)
            std::fprintf(stderr, "text \"%s\"\n", printable(note.text).c_str());
        if (note.kind == notifyResult)
            std::fprintf(stderr, "result %ld\n", static_cast<long>(note.value));
    }
    std::fprintf(stderr, "after %lld ms\n", static_cast<long long>(elapsed.count()));
}

}  // namespace

void EngineRig::run(const std::function<void()>& job) {
    worker_->onWorker(job, std::chrono::minutes(10));
    lostLink_ = worker_->deviceLost();  // the worker keeps the text of the last loss for good
    transcript_ = line_->transcript();
    trace(*line_, *recorder_, elapsed());
    for (const std::string& text : recorder_->texts()) {
        TIDEWELL_FUZZ_CHECK(text.find_first_of("\r\n") == std::string::npos,
                            "a posted text holds a line break");
        TIDEWELL_FUZZ_CHECK(text.size() <= CTidewellThread::kMaxLineLength,
                            "a posted text of " + std::to_string(text.size()) + " bytes");
    }
}

std::chrono::milliseconds EngineRig::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock_->now() - SimClock::kStart);
}

std::vector<std::string> EngineRig::writes(std::size_t from) const {
    const auto& all = transcript_;
    std::vector<std::string> out;
    for (std::size_t i = from; i < all.size(); ++i) {
        if (all[i].fromEngine) out.push_back(all[i].bytes);
    }
    return out;
}

std::string EngineRig::readBytes(std::size_t from) const {
    const auto& all = transcript_;
    std::string out;
    for (std::size_t i = from; i < all.size(); ++i) {
        if (!all[i].fromEngine) out += all[i].bytes;
    }
    return out;
}

EngineRig& engineRig() {
    static EngineRig rig;
    return rig;
}

std::string senderFile(std::uint8_t choice) {
    constexpr std::array<std::size_t, kSenderFileChoices> kSizes = {
        0, 1, 1024, 1025, 3000, 4096, 7000, 257 * 1024 + 5};
    return testing::patternBytes(kSizes[choice % kSizes.size()], 7);
}

std::optional<std::size_t> firstUnmatchedPayload(const std::string& file, const std::string& sent) {
    std::size_t position = 0;
    std::size_t from = 0;
    std::uint8_t number = 1;
    while (position < file.size()) {
        std::size_t at = std::string::npos;
        std::size_t length = 0;
        for (const std::size_t size : {1024, 128}) {
            for (const bool crc : {true, false}) {
                if (at != std::string::npos || file.size() - position < size) continue;
                at = sent.find(testing::makePacket(number, file.substr(position, size), crc), from);
                length = size;
            }
        }
        if (at == std::string::npos) return position;
        position += length;
        from = at + 1;
        ++number;
    }
    return std::nullopt;
}

bool oneOf(std::int32_t result, std::initializer_list<std::int32_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), result) != allowed.end();
}

}  // namespace tidewell::fuzz
