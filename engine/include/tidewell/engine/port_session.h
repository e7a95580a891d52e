// One port with its worker, driven from a thread that waits for the worker's
// notifications rather than a window's message loop: tidewell-cli's ports and the
// benchmarks. The port is opened with the standard link settings, the worker started
// and attached to an event queue; the owner then waits on that queue, a cancel source
// and, for a terminal, an input descriptor.
//
// Thread safety: every member from the one thread that opened the session.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "tidewell/engine/tidewell_thread.h"
#include "tidewell/engine/timing.h"
#include "tidewell/engine/transfer_watch.h"
#include "tidewell/engine/wait_handle.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {

class TraceWriter;

// A notification of the worker, handed to the owner's thread.
struct WorkerEvent {
    // commandEnded: the worker's command has returned (pushed by the worker itself).
    enum class Kind { text, result, progress, commandEnded };
    Kind kind = Kind::text;
    std::int32_t value = 0;   // result code or percent
    bool deviceLost = false;  // commandEnded: the port reported the device gone
    std::string text;
};

// The worker's notifications, from its thread to the owner's. The worker calls
// deliver() (its Notifier); the owner polls fd() and pops. Texts are moved out of the
// worker's heap strings, which are deleted here.
class WorkerEventQueue {
  public:
    WorkerEventQueue();  // throws std::system_error when no event descriptor can be made
    ~WorkerEventQueue();
    WorkerEventQueue(const WorkerEventQueue&) = delete;
    WorkerEventQueue& operator=(const WorkerEventQueue&) = delete;

    // Readable (set) while events may be waiting.
    WaitHandle fd() const { return fd_; }
    std::optional<WorkerEvent> pop();
    void push(WorkerEvent event);

    // Notifier for CBaseThread::setNotifier; context is the queue's address.
    static bool deliver(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                        std::intptr_t value, std::uint32_t serial = 0);

  private:
    WaitHandle fd_{};
    std::mutex lock_;
    std::deque<WorkerEvent> events_;
};

// What asks a running command to stop: a descriptor the waits poll beside the
// worker's events, and the request itself.
class CancelSource {
  public:
    virtual ~CancelSource() = default;
    // Readable (set) when a request may have come.
    virtual WaitHandle fd() const = 0;
    // The signal number of a request that came since the last take(), if one did
    // (never blocks).
    virtual std::optional<int> take() = 0;
};

// A request raised by another thread: raise() from any thread; fd() and take() from
// the thread that waits.
class CancelFlag final : public CancelSource {
  public:
    CancelFlag();  // throws std::system_error when no event descriptor can be made
    ~CancelFlag() override;
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    void raise(int signal);

    WaitHandle fd() const override { return fd_; }
    std::optional<int> take() override;

  private:
    WaitHandle fd_{};
    std::atomic<int> signal_{0};
};

// Which port to open: a COM number resolved by `platform`, or a device path.
struct PortTarget {
    std::uint8_t portNumber = 1;
    std::string path;  // non-empty: this device, whatever the number
    SerialPlatform platform;
};

enum class WaitEnd { event, deadline, signal, input };

class PortSession {
  public:
    using Clock = std::chrono::steady_clock;
    using EventSink = std::function<void(const WorkerEvent&)>;
    // Takes each acknowledged packet's file bytes of an upload, on the worker's thread.
    using DeliverySink = std::function<void(std::span<const std::uint8_t>)>;

    // How long to wait for the worker to return after a cancel.
    static constexpr std::chrono::seconds kSettleLimit{10};
    // How often a transfer's wait looks at the block transfer's counts.
    static constexpr std::chrono::milliseconds kLineCheck{250};

    // Opens the port and starts the worker; null and *why (naming the port and the
    // reason) when the port cannot be opened.
    static std::unique_ptr<PortSession> open(PortTarget target, std::uint32_t speed,
                                             const EngineTiming& timing, CancelSource& cancel,
                                             std::string* why);
    ~PortSession();  // the worker goes before the port
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    CTidewellThread& worker();
    // "COM3 (/dev/ttyUSB0)", or the path given.
    const std::string& name() const { return name_; }
    // "COM3", or the path given.
    const std::string& portLabel() const { return portLabel_; }
    // The device opened ("/dev/ttyUSB0").
    std::string devicePath() const { return port_ != nullptr ? port_->devicePath() : ""; }
    std::uint32_t baudRate() const;
    const EngineTiming& timing() const { return timing_; }

    // From now on the port's protocol trace goes to out, after its heading (program and
    // version name the writer); allBytes: long chunks shown whole. While no command runs;
    // out must outlive the session.
    void startTrace(std::ostream& out, std::string_view program, std::string_view version,
                    bool allBytes);

    // Gives the worker a command (it must be idle: see busy()).
    void command(std::int32_t code);
    // What the device has sent so far (any thread).
    DeviceInput input() const;
    // A command runs: given, and its end not yet seen by wait().
    bool busy() const { return busy_; }

    // Waits for the next worker event (into *event), the deadline, a cancel request
    // (WaitEnd::signal) or input on inputFd (when >= 0; a C runtime descriptor on Windows).
    // Events already queued come first.
    WaitEnd wait(Clock::time_point deadline, WorkerEvent* event, int inputFd = -1);
    // Cancels the running command, if any, and waits (up to `limit`) until it has returned.
    // Events that arrive meanwhile go to `drained` when given.
    bool cancelAndSettle(std::chrono::milliseconds limit = kSettleLimit,
                         const EventSink& drained = {});

    // How a command the owner waited for ended.
    struct CommandEnd {
        enum class How { returned, enough, deadline, interrupted };
        How how = How::returned;
        bool deviceLost = false;             // returned: the port reported the device gone
        std::optional<std::int32_t> result;  // the last result the worker posted
        DeviceInput input;                   // what the device had sent when the wait ended
    };
    // Gives the worker `code` and waits until it returns. Each event goes to `seen`; when
    // `seen` answers true, the command is cancelled and the events after it are dropped.
    // At the deadline or on a cancel request it is cancelled, the events meanwhile going
    // to `drained`.
    CommandEnd run(std::int32_t code, Clock::time_point deadline,
                   const std::function<bool(const WorkerEvent&)>& seen,
                   const EventSink& drained = {});

    // One transfer session: its command line, then the block transfer, watched for
    // silence as `policy` says; a cancel request or a silence cancels it (with three CAN
    // once the block transfer has begun). Each event goes to `seen` as it comes; an
    // upload's acknowledged bytes go to `delivered`. Nothing when the worker did not
    // take the command line.
    struct TransferRequest {
        TransferWay way = TransferWay::toDevice;
        std::string deviceFile;
        std::string localPath;  // the file the worker reads or writes
        bool emptyUpload = false;
    };
    std::optional<TransferRun> transfer(const TransferRequest& request, const SilencePolicy& policy,
                                        const EventSink& seen, DeliverySink delivered = {});

  private:
    class Worker;
    PortSession(CancelSource& cancel, std::string name, std::string portLabel,
                const EngineTiming& timing);

    CancelSource& cancel_;
    std::string name_;
    std::string portLabel_;
    EngineTiming timing_;
    WorkerEventQueue queue_;
    std::unique_ptr<TSerie> portOwner_;
    TSerie* port_ = nullptr;              // the worker reads the port through this field
    std::unique_ptr<TraceWriter> trace_;  // outlives the worker
    std::unique_ptr<Worker> worker_;
    bool busy_ = false;
};

}  // namespace tidewell
