// One open port with its worker, as the command line drives it: the port is
// opened with the standard link settings, the worker started and attached to a
// notification queue; the thread that drives it then waits on that queue, its
// cancel source (the signals) and, for the terminal, standard input.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "cancel_source.h"
#include "notifications.h"
#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/timing.h"
#include "tidewell/records/sha256.h"
#include "tidewell/serial/tserie.h"

namespace tidewell::cli {

// The worker, plus an event in the queue when each command has returned (with or
// without a result of its own), so the caller always knows the worker is idle. The
// file bytes an upload got through are counted and hashed as the device acknowledges
// them, so they describe what was sent whatever becomes of the file meanwhile.
class CliWorker : public CTidewellThread {
  public:
    struct Delivered {
        std::uint64_t bytes = 0;
        std::string sha256;
        int copyError = 0;  // errno of a failed write to the copy; 0 when none
    };

    CliWorker(TSerie*& port, const EngineTiming& timing, NotificationQueue& ends)
        : CTidewellThread(port, cmdIdle, nullptr, timing), ends_(ends) {}
    ~CliWorker() override;

    // Owner side, while the worker is idle: the next upload is counted afresh, and its
    // bytes are also written to copyFd when that is >= 0 (the caller keeps it open).
    void startDelivery(int copyFd = -1);
    // Owner side, once the upload has returned: what it delivered; the copy is let go.
    Delivered delivered();

  protected:
    std::int32_t dispatchCommand(std::int32_t code) override;
    void onBytesDelivered(std::span<const std::uint8_t> bytes) override;

  private:
    NotificationQueue& ends_;
    std::mutex deliveryLock_;
    Sha256 digest_;
    std::uint64_t deliveredBytes_ = 0;
    int copyFd_ = -1;
    int copyError_ = 0;
};

// Which port to open: a COM number resolved by `platform`, or a device path.
struct PortTarget {
    std::uint8_t portNumber = 1;
    std::string path;  // non-empty: this device, whatever the number
    SerialPlatform platform;
};

enum class WaitEnd { event, deadline, signal, input };

class DeviceLink {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens the port and starts the worker; null and *why (naming the port and
    // the reason) when the port cannot be opened.
    static std::unique_ptr<DeviceLink> open(PortTarget target, std::uint32_t speed,
                                            const EngineTiming& timing, CancelSource& cancel,
                                            std::string* why);
    ~DeviceLink();  // the worker goes before the port
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    CliWorker& worker() { return *worker_; }
    // "COM3 (/dev/ttyUSB0)", or the path given.
    const std::string& name() const { return name_; }
    // "COM3", or the path given.
    const std::string& portLabel() const { return portLabel_; }
    // The device opened ("/dev/ttyUSB0").
    std::string devicePath() const { return port_ != nullptr ? port_->devicePath() : ""; }
    std::uint32_t baudRate() const;

    // Gives the worker a command (it must be idle: see busy()).
    void command(std::int32_t code);
    // What the device has sent so far (any thread).
    DeviceInput input() const { return worker_->deviceInput(); }
    // A command runs: given, and its end not yet seen by wait().
    bool busy() const { return busy_; }

    // Waits for the next worker event (into *event), the deadline, a cancel request
    // (WaitEnd::signal) or input on inputFd (when >= 0). Events already queued come first.
    WaitEnd wait(Clock::time_point deadline, WorkerEvent* event, int inputFd = -1);
    // Cancels the running command, if any, and waits (up to `limit`) until it has returned.
    // Events that arrive meanwhile go to *drained when given.
    bool cancelAndSettle(std::chrono::milliseconds limit,
                         const std::function<void(const WorkerEvent&)>& drained = {});

  private:
    DeviceLink(CancelSource& cancel, std::string name, std::string portLabel);

    CancelSource& cancel_;
    std::string name_;
    std::string portLabel_;
    NotificationQueue queue_;
    std::unique_ptr<TSerie> portOwner_;
    TSerie* port_ = nullptr;  // the worker reads the port through this field
    std::unique_ptr<CliWorker> worker_;
    bool busy_ = false;
};

}  // namespace tidewell::cli
