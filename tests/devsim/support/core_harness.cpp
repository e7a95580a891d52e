#include "core_harness.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <utility>

namespace tidewell::devsim::testing {

namespace {
std::filesystem::path makeStore(const std::filesystem::path& parent) {
    const auto path = parent / "store";
    std::filesystem::create_directories(path);
    return path;
}
}  // namespace

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::string textOf(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> patternFile(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    return data;
}

CoreHarness::CoreHarness(DeviceConfig config)
    : storeDir_(makeStore(dir_.path())),
      store_(storeDir_),
      start_(TimePoint(std::chrono::hours(1))),
      now_(start_) {
    log_.keepInMemory();
    device_.emplace(std::move(config), store_, log_, start_);
}

void CoreHarness::collect() {
    const auto bytes = device_->takeOutput();
    output_.append(bytes.begin(), bytes.end());
}

void CoreHarness::send(std::string_view bytes) {
    send(bytesOf(bytes));
}

void CoreHarness::send(const std::vector<std::uint8_t>& bytes) {
    device_->receive(bytes, now_);
    collect();
}

void CoreHarness::advanceTo(TimePoint when) {
    for (;;) {
        const auto next = device_->nextDeadline();
        if (!next || *next > when) break;
        now_ = std::max(now_, *next);
        device_->advance(now_);
        collect();
    }
    now_ = std::max(now_, when);
    device_->advance(now_);
    collect();
}

bool CoreHarness::runUntil(const std::function<bool()>& done, Millis limit) {
    const TimePoint end = now_ + limit;
    for (;;) {
        collect();
        if (done()) return true;
        const auto next = device_->nextDeadline();
        if (!next || *next > end) {
            advanceTo(end);
            return done();
        }
        advanceTo(std::max(*next, now_));
    }
}

std::string CoreHarness::take() {
    return std::exchange(output_, {});
}

bool CoreHarness::waitForText(std::string_view text, Millis limit) {
    return runUntil([&] { return output_.find(text) != std::string::npos; }, limit);
}

std::optional<std::string> CoreHarness::takeLine(Millis limit) {
    if (!runUntil([&] { return output_.find("\r\n") != std::string::npos; }, limit)) {
        return std::nullopt;
    }
    const auto end = output_.find("\r\n");
    std::string line = output_.substr(0, end);
    output_.erase(0, end + 2);
    return line;
}

void CoreHarness::logIn() {
    send("   ");
    if (!waitForText(":LOGIN:\r\n", Millis(100000))) throw std::runtime_error("no prompt");
    send("\r\n");
    advanceBy(Millis(50));
    send("pivot\r");
    if (!waitForText(":OK:\r\n", Millis(100000))) throw std::runtime_error("no log-in");
    take();
}

void CoreHarness::startTransfer(std::string_view line) {
    logIn();
    send(std::string(line) + "\r");
    if (takeLine() != ":OK:") throw std::runtime_error("transfer line not accepted");
}

void CoreHarness::writeStoreFile(const std::string& name, const std::vector<std::uint8_t>& data) {
    std::ofstream file(storeDir_ / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

std::optional<std::vector<std::uint8_t>> CoreHarness::readStoreFile(const std::string& name) const {
    std::ifstream file(storeDir_ / name, std::ios::binary);
    if (!file) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>());
}

}  // namespace tidewell::devsim::testing
