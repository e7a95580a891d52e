#include "tidewell/engine/port_session.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "tidewell/engine/trace.h"
#include "wake_event.h"

namespace tidewell {

WorkerEventQueue::WorkerEventQueue() : fd_(wake::make()) {}

WorkerEventQueue::~WorkerEventQueue() {
    wake::close(fd_);
}

void WorkerEventQueue::push(WorkerEvent event) {
    {
        std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    wake::set(fd_);
}

std::optional<WorkerEvent> WorkerEventQueue::pop() {
    std::lock_guard guard(lock_);
    if (events_.empty()) {
        // Pushes take the lock first, so none can slip in between this and the clear.
        wake::clear(fd_);
        return std::nullopt;
    }
    WorkerEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

CancelFlag::CancelFlag() : fd_(wake::make()) {}

CancelFlag::~CancelFlag() {
    wake::close(fd_);
}

void CancelFlag::raise(int signal) {
    signal_.store(signal);
    wake::set(fd_);
}

std::optional<int> CancelFlag::take() {
    if (!wake::clear(fd_)) return std::nullopt;
    return signal_.load();
}

WaitEnd PortSession::wait(Clock::time_point deadline, WorkerEvent* event, int inputFd) {
    // No single wait is longer than a minute: the loop looks at the clock again.
    constexpr long long kLongestWaitMs = 60'000;
    for (;;) {
        if (auto next = queue_.pop()) {
            if (next->kind == WorkerEvent::Kind::commandEnded) busy_ = false;
            *event = std::move(*next);
            return WaitEnd::event;
        }
        const auto now = Clock::now();
        if (now >= deadline) return WaitEnd::deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const WaitHandle events[] = {queue_.fd(), cancel_.fd()};
        const int ready = wake::waitForAny(
            events, inputFd, static_cast<int>(std::min<long long>(left.count(), kLongestWaitMs)));
        if (ready == 1 && cancel_.take()) return WaitEnd::signal;
        if (ready == 2) return WaitEnd::input;
    }
}

// The worker, plus an event in the queue when each command has returned (with or
// without a result of its own), so the owner always knows the worker is idle.
class PortSession::Worker final : public CTidewellThread {
  public:
    Worker(TSerie*& port, const EngineTiming& timing, WorkerEventQueue& ends)
        : CTidewellThread(port, cmdIdle, nullptr, timing), ends_(ends) {}
    // dispatchCommand belongs to this class: the thread must end before it goes.
    ~Worker() override { shutdown(); }

    void setDeliverySink(DeliverySink sink) {
        const std::lock_guard lock(deliveryLock_);
        delivered_ = std::move(sink);
    }

  protected:
    std::int32_t dispatchCommand(std::int32_t code) override {
        const std::int32_t result = CTidewellThread::dispatchCommand(code);
        ends_.push({WorkerEvent::Kind::commandEnded, result, deviceLost(), {}});
        return result;
    }
    void onBytesDelivered(std::span<const std::uint8_t> bytes) override {
        const std::lock_guard lock(deliveryLock_);
        if (delivered_) delivered_(bytes);
    }

  private:
    WorkerEventQueue& ends_;
    std::mutex deliveryLock_;
    DeliverySink delivered_;
};

// The commands of one session follow each other, each awaited: the serial is not needed.
bool WorkerEventQueue::deliver(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                               std::intptr_t value, std::uint32_t /*serial*/) {
    auto* queue = reinterpret_cast<WorkerEventQueue*>(context);
    if (queue == nullptr || message != WM_WORKER_NOTIFY) return false;
    WorkerEvent event;
    switch (kind) {
        case notifyText: {
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(value));
            event.kind = WorkerEvent::Kind::text;
            if (text) event.text = std::move(*text);
            break;
        }
        case notifyResult:
            event.kind = WorkerEvent::Kind::result;
            event.value = static_cast<std::int32_t>(value);
            break;
        case notifyProgress:
            event.kind = WorkerEvent::Kind::progress;
            event.value = static_cast<std::int32_t>(value);
            break;
        default:
            return false;
    }
    queue->push(std::move(event));
    return true;
}

PortSession::PortSession(CancelSource& cancel, std::string name, std::string portLabel,
                         const EngineTiming& timing)
    : cancel_(cancel), name_(std::move(name)), portLabel_(std::move(portLabel)), timing_(timing) {}

PortSession::~PortSession() {
    worker_.reset();
    trace_.reset();
    port_ = nullptr;
    portOwner_.reset();
}

std::unique_ptr<PortSession> PortSession::open(PortTarget target, std::uint32_t speed,
                                               const EngineTiming& timing, CancelSource& cancel,
                                               std::string* why) {
    std::string name;
    std::string label;
    if (!target.path.empty()) {
        name = target.path;
        label = target.path;
        const std::string path = target.path;
        target.platform.devicePath = [path](std::uint8_t) { return path; };
    } else {
        const std::string com = "COM" + std::to_string(target.portNumber);
        const std::string path =
            target.platform.devicePath ? target.platform.devicePath(target.portNumber) : "";
        if (path.empty()) {
            if (why)
                *why = "cannot open the port " + com + ": no device is assigned to it (see " +
                       "\"tidewell-cli ports\")";
            return nullptr;
        }
        name = com + " (" + path + ")";
        label = com;
    }
    std::unique_ptr<PortSession> session(new PortSession(cancel, name, label, timing));
    std::string reason;
    auto port = createSerialPort(target.portNumber, speed, target.platform, &reason);
    if (!port) {
        if (!target.path.empty()) {
            // The port layer names a COM number; with a path given the path says it all.
            const std::string prefix =
                "COM" + std::to_string(target.portNumber) + " (" + target.path + "): ";
            if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
        }
        if (why) *why = "cannot open the port " + name + ": " + reason;
        return nullptr;
    }
    session->portOwner_ = std::move(port);
    session->port_ = session->portOwner_.get();
    session->worker_ = std::make_unique<Worker>(session->port_, timing, session->queue_);
    if (!session->worker_->start(true)) {
        if (why) *why = "cannot start the worker thread for " + name;
        return nullptr;
    }
    session->worker_->setNotifier(&WorkerEventQueue::deliver,
                                  reinterpret_cast<std::uintptr_t>(&session->queue_),
                                  WM_WORKER_NOTIFY);
    return session;
}

void PortSession::startTrace(std::ostream& out, std::string_view program, std::string_view version,
                             bool allBytes) {
    auto writer = std::make_unique<TraceWriter>(out, allBytes);
    writer->heading({std::string(program), std::string(version), portLabel_, devicePath(),
                     baudRate(), std::time(nullptr)});
    worker_->setTraceSink(writer.get());
    trace_ = std::move(writer);
}

CTidewellThread& PortSession::worker() {
    return *worker_;
}

std::uint32_t PortSession::baudRate() const {
    return portOwner_ ? portOwner_->getBaudRate() : 0;
}

DeviceInput PortSession::input() const {
    return worker_->deviceInput();
}

void PortSession::command(std::int32_t code) {
    busy_ = true;
    worker_->setCommand(code);
}

bool PortSession::cancelAndSettle(std::chrono::milliseconds limit, const EventSink& drained) {
    worker_->cancel();
    if (!busy_) return true;
    const auto deadline = Clock::now() + limit;
    WorkerEvent event;
    for (;;) {
        switch (wait(deadline, &event)) {
            case WaitEnd::event:
                if (drained) drained(event);
                if (event.kind == WorkerEvent::Kind::commandEnded) return true;
                break;
            case WaitEnd::signal:
                worker_->cancel();  // a second request changes nothing: already stopping
                break;
            default:
                return false;
        }
    }
}

PortSession::CommandEnd PortSession::run(std::int32_t code, Clock::time_point deadline,
                                         const std::function<bool(const WorkerEvent&)>& seen,
                                         const EventSink& drained) {
    CommandEnd end;
    command(code);
    WorkerEvent event;
    while (busy_) {
        const WaitEnd waited = wait(deadline, &event);
        switch (waited) {
            case WaitEnd::signal:
            case WaitEnd::deadline:
                end.how = waited == WaitEnd::signal ? CommandEnd::How::interrupted
                                                    : CommandEnd::How::deadline;
                end.input = input();
                cancelAndSettle(kSettleLimit, drained);
                return end;
            case WaitEnd::event:
                if (event.kind == WorkerEvent::Kind::result) end.result = event.value;
                if (event.kind == WorkerEvent::Kind::commandEnded)
                    end.deviceLost = event.deviceLost;
                if (seen && seen(event)) {
                    end.how = CommandEnd::How::enough;
                    end.input = input();
                    cancelAndSettle();
                    return end;
                }
                break;
            case WaitEnd::input:
                break;
        }
    }
    end.input = input();
    return end;
}

std::optional<TransferRun> PortSession::transfer(const TransferRequest& request,
                                                 const SilencePolicy& policy, const EventSink& seen,
                                                 DeliverySink delivered) {
    const bool upload = request.way == TransferWay::toDevice;
    worker_->cancel();
    worker_->setFileName(request.localPath);
    worker_->setDeliverySink(upload ? std::move(delivered) : DeliverySink{});
    // The line goes into the mailbox while the worker is idle, before the command starts:
    // the session finds it at once instead of spending line reads (two read waits, with
    // the log-in's last line feed still in the buffer) waiting for it.
    if (!worker_->queueCommandLine(transferCommandLine(request.way, request.deviceFile))) {
        worker_->setDeliverySink({});
        return std::nullopt;
    }
    command(upload ? cmdUpload : cmdDownload);

    TransferWatch watch(request.way, policy, request.emptyUpload, Clock::now(), input());
    const auto note = [&](const WorkerEvent& e) {
        if (seen) seen(e);
        switch (e.kind) {
            case WorkerEvent::Kind::text:
                watch.line(e.text, Clock::now(), input());
                break;
            case WorkerEvent::Kind::progress:
                watch.progress(worker_->transferOutcome().deviceFrames, Clock::now(), input());
                break;
            case WorkerEvent::Kind::result:
                watch.result(e.value);
                break;
            case WorkerEvent::Kind::commandEnded:
                watch.commandEnded(e.deviceLost);
                break;
        }
    };
    WorkerEvent event;
    while (busy_) {
        const WaitEnd end = wait(std::min(watch.deadline(), Clock::now() + kLineCheck), &event);
        if (end == WaitEnd::event) note(event);
        watch.look(worker_->transferOutcome(), Clock::now(), input());
        if (end == WaitEnd::signal || (end == WaitEnd::deadline && watch.silent(Clock::now()))) {
            watch.stop(end == WaitEnd::signal, worker_->transferOutcome(), input());
            // A cancelled block transfer tells the device with three CAN.
            cancelAndSettle(kSettleLimit, note);
            break;
        }
    }
    // Under the worker's lock: no delivery reaches the caller's sink after this.
    worker_->setDeliverySink({});
    return watch.finish(worker_->transferOutcome());
}

}  // namespace tidewell
