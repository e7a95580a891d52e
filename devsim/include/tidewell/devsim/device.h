// The simulated device without any I/O: bytes from the host and the time go in,
// bytes for the host come out. The program around it moves the bytes between
// this object and the pseudo-terminal; tests drive it with a scripted host and
// a made-up clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/devsim/options.h"

namespace tidewell::devsim {

class DeviceTrace;
class EventLog;
class Store;

struct DeviceConfig {
    std::string loginWord{"pivot"};
    std::chrono::milliseconds bootDelay{0};
    TransferMode transfer = TransferMode::builtin;
    std::optional<std::uint32_t> baud;  // lengthens the sender's wait for answers
    Faults faults;

    static DeviceConfig fromOptions(const Options& options);
};

enum class TransferDirection {
    toDevice,    // "download NAME": the device receives
    fromDevice,  // "upload NAME": the device sends
};

// A transfer handed to an external program (--transfer lrzsz).
struct ExternalTransfer {
    TransferDirection direction;
    std::string name;  // valid store name
};

// Not thread-safe: one thread calls everything. Every call takes the current
// time, which must not go backwards.
class Device {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // store and log must outlive the device.
    Device(DeviceConfig config, Store& store, EventLog& log, TimePoint start);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Bytes written by the host.
    void receive(std::span<const std::uint8_t> bytes, TimePoint now);
    // Runs what is due by now; call it at nextDeadline() at the latest.
    void advance(TimePoint now);
    std::optional<TimePoint> nextDeadline() const;
    // Bytes for the host, in order, since the last call.
    std::vector<std::uint8_t> takeOutput();

    // A flood fault has begun: from now on the device sends nothing but the flood,
    // produced as the program asks for it, so the flood never piles up unsent.
    bool flooding() const;
    // Adds up to count more bytes of the flood to the output; nothing without one.
    void flood(std::size_t count, TimePoint now);

    // The device has hung up: it reads and sends nothing more; the program
    // closes the line once the output taken so far has gone.
    bool hungUp() const;

    // External transfers: a transfer to start (once), the host's bytes for the
    // program, the program's bytes for the host, and its end.
    std::optional<ExternalTransfer> takeExternalStart();
    std::vector<std::uint8_t> takeExternalInput();
    void externalOutput(std::span<const std::uint8_t> bytes, TimePoint now);
    void externalFinished(bool succeeded, TimePoint now);

    // The protocol events go to trace from now on (null: nowhere); it must outlive the device.
    void setTrace(DeviceTrace* trace);

    // A line for the event log from the program around the device.
    void note(std::string_view text, TimePoint now);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tidewell::devsim
