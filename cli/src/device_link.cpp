#include "device_link.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "tidewell/serial/backend.h"

namespace tidewell::cli {

namespace {

constexpr std::uint8_t kCan = 0x18;
constexpr int kCancelBytes = 3;

// The real backend, showing the bytes that come from the device to a DeviceTraffic.
class CountingBackend final : public SerialBackend {
  public:
    CountingBackend(std::unique_ptr<SerialBackend> inner, std::shared_ptr<DeviceTraffic> traffic)
        : inner_(std::move(inner)), traffic_(std::move(traffic)) {}

    bool open(const std::string& path) override { return inner_->open(path); }
    bool isOpen() const override { return inner_->isOpen(); }
    bool getState(DCB& dcb) override { return inner_->getState(dcb); }
    bool setState(const DCB& dcb) override { return inner_->setState(dcb); }
    bool getTimeouts(COMMTIMEOUTS& t) override { return inner_->getTimeouts(t); }
    bool setTimeouts(const COMMTIMEOUTS& t) override { return inner_->setTimeouts(t); }
    bool read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        const bool done = inner_->read(buffer, count, moved, overlapped);
        if (done && moved != nullptr) take(buffer, *moved);
        if (!done && inner_->lastError() == ERROR_IO_PENDING) {
            pendingRead_ = overlapped;
            pendingBuffer_ = buffer;
        }
        return done;
    }
    bool write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) override {
        return inner_->write(buffer, count, moved, overlapped);
    }
    bool overlappedResult(Overlapped* overlapped, DWORD* moved, bool wait) override {
        const bool done = inner_->overlappedResult(overlapped, moved, wait);
        if (done && moved != nullptr && overlapped != nullptr && overlapped == pendingRead_) {
            take(pendingBuffer_, *moved);  // a read that completed later
            pendingRead_ = nullptr;
        }
        return done;
    }
    bool close() override { return inner_->close(); }
    DWORD lastError() const override { return inner_->lastError(); }

  private:
    void take(const void* buffer, DWORD bytes) {
        traffic_->take(static_cast<const std::uint8_t*>(buffer), bytes);
    }

    std::unique_ptr<SerialBackend> inner_;
    std::shared_ptr<DeviceTraffic> traffic_;
    Overlapped* pendingRead_ = nullptr;
    const void* pendingBuffer_ = nullptr;
};

}  // namespace

CliWorker::~CliWorker() {
    // dispatchCommand belongs to this class: the thread must end before it goes.
    shutdown();
}

std::int32_t CliWorker::dispatchCommand(std::int32_t code) {
    std::int32_t result = resStopped;
    if (code == kCmdCancelTransfer) {
        for (int i = 0; i < kCancelBytes; ++i) sendByte(kCan);
    } else {
        result = CTidewellThread::dispatchCommand(code);
    }
    if ((code == cmdUpload || code == cmdDownload) && localFileError() != 0) {
        notify(kNotifyLocalFileError, localFileError());
    }
    notify(kNotifyCommandEnded, deviceLost() ? 1 : 0);
    return result;
}

void CliWorker::startDelivery(int copyFd) {
    const std::lock_guard lock(deliveryLock_);
    digest_ = Sha256();
    deliveredBytes_ = 0;
    copyFd_ = copyFd;
    copyError_ = 0;
}

CliWorker::Delivered CliWorker::delivered() {
    const std::lock_guard lock(deliveryLock_);
    copyFd_ = -1;
    return {deliveredBytes_, digest_.finish(), copyError_};
}

void CliWorker::onBytesDelivered(std::span<const std::uint8_t> bytes) {
    const std::lock_guard lock(deliveryLock_);
    digest_.update(bytes);
    deliveredBytes_ += bytes.size();
    while (copyFd_ >= 0 && copyError_ == 0 && !bytes.empty()) {
        const ssize_t done = ::write(copyFd_, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) {
            copyError_ = errno;
            break;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(done));
    }
}

DeviceLink::DeviceLink(CancelSource& cancel, std::string name, std::string portLabel)
    : cancel_(cancel), name_(std::move(name)), portLabel_(std::move(portLabel)) {}

DeviceLink::~DeviceLink() {
    worker_.reset();
    port_ = nullptr;
    portOwner_.reset();
}

std::unique_ptr<DeviceLink> DeviceLink::open(PortTarget target, std::uint32_t speed,
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
    std::unique_ptr<DeviceLink> link(new DeviceLink(cancel, name, label));
    if (const auto inner = target.platform.makeBackend) {
        target.platform.makeBackend = [inner, traffic = link->traffic_] {
            return std::make_unique<CountingBackend>(inner(), traffic);
        };
    }
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
    link->portOwner_ = std::move(port);
    link->port_ = link->portOwner_.get();
    link->worker_ = std::make_unique<CliWorker>(link->port_, cmdIdle, nullptr, timing);
    if (!link->worker_->start(true)) {
        if (why) *why = "cannot start the worker thread for " + name;
        return nullptr;
    }
    link->worker_->setNotifier(&NotificationQueue::deliver,
                               reinterpret_cast<std::uintptr_t>(&link->queue_), WM_WORKER_NOTIFY);
    return link;
}

std::uint32_t DeviceLink::baudRate() const {
    return portOwner_ ? portOwner_->getBaudRate() : 0;
}

void DeviceLink::command(std::int32_t code) {
    busy_ = true;
    worker_->setCommand(code);
}

WaitEnd DeviceLink::wait(Clock::time_point deadline, WorkerEvent* event, int inputFd) {
    for (;;) {
        if (auto next = queue_.pop()) {
            if (next->kind == WorkerEvent::Kind::commandEnded) busy_ = false;
            *event = std::move(*next);
            return WaitEnd::event;
        }
        pollfd fds[3] = {{queue_.fd(), POLLIN, 0}, {cancel_.fd(), POLLIN, 0}, {inputFd, POLLIN, 0}};
        const nfds_t count = inputFd >= 0 ? 3 : 2;
        const auto now = Clock::now();
        if (now >= deadline) return WaitEnd::deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const int timeoutMs = static_cast<int>(std::min<long long>(left.count(), 60'000));
        const int ready = ::poll(fds, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[1].revents != 0 && cancel_.take()) return WaitEnd::signal;
        if (count == 3 && fds[2].revents != 0) return WaitEnd::input;
    }
}

bool DeviceLink::tellDeviceCancel(std::chrono::milliseconds limit,
                                  const std::function<void(const WorkerEvent&)>& drained) {
    if (busy_) return false;  // the worker has not stopped: it owns the line
    command(CliWorker::kCmdCancelTransfer);
    const auto deadline = Clock::now() + limit;
    WorkerEvent event;
    for (;;) {
        switch (wait(deadline, &event)) {
            case WaitEnd::event:
                if (drained) drained(event);
                if (event.kind == WorkerEvent::Kind::commandEnded) return true;
                break;
            case WaitEnd::signal:
            case WaitEnd::input:
                break;
            case WaitEnd::deadline:
                return false;
        }
    }
}

bool DeviceLink::cancelAndSettle(std::chrono::milliseconds limit,
                                 const std::function<void(const WorkerEvent&)>& drained) {
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
                worker_->cancel();  // a second Ctrl-C changes nothing: already stopping
                break;
            default:
                return false;
        }
    }
}

}  // namespace tidewell::cli
