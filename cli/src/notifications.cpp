#include "notifications.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

namespace tidewell::cli {

NotificationQueue::NotificationQueue() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

NotificationQueue::~NotificationQueue() {
    ::close(fd_);
}

void NotificationQueue::push(WorkerEvent event) {
    {
        std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    const std::uint64_t one = 1;
    // A full counter (never reached in practice) still leaves fd_ readable.
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

std::optional<WorkerEvent> NotificationQueue::pop() {
    std::lock_guard guard(lock_);
    if (events_.empty()) {
        // Pushes take the lock first, so none can slip in between this and the read.
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(fd_, &count, sizeof count);
        return std::nullopt;
    }
    WorkerEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

// The commands of one run follow each other, each awaited: the serial is not needed.
bool NotificationQueue::deliver(std::uintptr_t context, std::uint32_t message, std::int32_t kind,
                                std::intptr_t value, std::uint32_t /*serial*/) {
    auto* queue = reinterpret_cast<NotificationQueue*>(context);
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

}  // namespace tidewell::cli
