// The device's side of a protocol trace, in the host's trace format: '>' the bytes the
// device wrote, '<' those it read, '*' its protocol events. Each record is flushed as
// it is written, so a test can read the file while the device runs; only the run of
// chunks in progress waits for the next record.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tidewell/tracefmt/trace_format.h"

namespace tidewell::devsim {

class DeviceTrace {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    DeviceTrace() = default;  // writes nowhere until opened
    ~DeviceTrace();           // writes the run of chunks in progress
    DeviceTrace(const DeviceTrace&) = delete;
    DeviceTrace& operator=(const DeviceTrace&) = delete;

    // Creates or empties path and writes the heading; record times count from start.
    // On failure sets error and traces nothing.
    bool open(const std::string& path, const tracefmt::Heading& heading, bool allBytes,
              TimePoint start, std::string& error);
    bool active() const { return file_ != nullptr; }

    void wrote(std::span<const std::uint8_t> bytes, TimePoint now);
    void read(std::span<const std::uint8_t> bytes, TimePoint now);
    void event(std::string_view text, TimePoint now);

  private:
    double since(TimePoint now) const;
    void chunk(tracefmt::RecordKind kind, std::span<const std::uint8_t> bytes, TimePoint now);
    void put(const std::string& line);

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    bool allBytes_ = false;
    TimePoint start_{};
    tracefmt::ChunkRun run_;
};

}  // namespace tidewell::devsim
