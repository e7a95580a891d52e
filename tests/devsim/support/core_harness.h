// Drives the device core with a simulated clock: the host's bytes go in at the
// current simulated time, time jumps from deadline to deadline, and everything
// the device sends collects in one buffer.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/devsim/device.h"
#include "tidewell/devsim/event_log.h"
#include "tidewell/devsim/store.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::devsim::testing {

using Millis = std::chrono::milliseconds;
using TimePoint = Device::TimePoint;
using testsupport::TempDir;

std::vector<std::uint8_t> bytesOf(std::string_view text);
std::string textOf(const std::vector<std::uint8_t>& bytes);
// Deterministic file contents.
std::vector<std::uint8_t> patternFile(std::size_t size, std::uint32_t seed = 7);

class CoreHarness {
  public:
    explicit CoreHarness(DeviceConfig config = {});

    Device& device() { return *device_; }
    Store& store() { return store_; }
    const EventLog& log() const { return log_; }
    bool logHas(std::string_view text) const { return log_.contains(text); }
    const std::filesystem::path& storeDir() const { return storeDir_; }
    // The folder that holds the store: nothing may appear here but the store.
    const std::filesystem::path& outside() const { return dir_.path(); }

    TimePoint now() const { return now_; }
    Millis elapsed() const { return std::chrono::duration_cast<Millis>(now_ - start_); }

    void send(std::string_view bytes);
    void send(const std::vector<std::uint8_t>& bytes);
    void advanceTo(TimePoint when);
    void advanceBy(Millis step) { advanceTo(now_ + step); }
    // Lets simulated time run, deadline by deadline, until done() holds or
    // limit has passed; true when done() held.
    bool runUntil(const std::function<bool()>& done, Millis limit);

    // Output received and not yet taken.
    std::string& output() { return output_; }
    std::string take();
    bool waitForText(std::string_view text, Millis limit);
    // The next line ("\r\n" removed) within limit, taken from the output.
    std::optional<std::string> takeLine(Millis limit = Millis(1000));

    // Wake-up, prompt, log-in; leaves the output empty.
    void logIn();
    // Logs in, sends the command line and takes its ":OK:".
    void startTransfer(std::string_view line);
    void writeStoreFile(const std::string& name, const std::vector<std::uint8_t>& data);
    std::optional<std::vector<std::uint8_t>> readStoreFile(const std::string& name) const;

  private:
    void collect();

    TempDir dir_;
    std::filesystem::path storeDir_;
    Store store_;
    EventLog log_;
    TimePoint start_;
    TimePoint now_;
    std::optional<Device> device_;
    std::string output_;
};

}  // namespace tidewell::devsim::testing
