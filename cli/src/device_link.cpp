#include "device_link.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tidewell::cli {

CliWorker::~CliWorker() {
    // dispatchCommand belongs to this class: the thread must end before it goes.
    shutdown();
}

std::int32_t CliWorker::dispatchCommand(std::int32_t code) {
    const std::int32_t result = CTidewellThread::dispatchCommand(code);
    ends_.push({WorkerEvent::Kind::commandEnded, result, deviceLost(), {}});
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
    link->worker_ = std::make_unique<CliWorker>(link->port_, timing, link->queue_);
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
