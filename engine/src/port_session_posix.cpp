// The descriptors a PortSession waits on: eventfds for the worker's events and a
// cancel flag, polled beside the caller's own.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "tidewell/engine/port_session.h"

namespace tidewell {

namespace {

int makeEventFd() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

void signalEventFd(int fd) {
    const std::uint64_t one = 1;
    // A full counter (never reached in practice) still leaves fd readable.
    [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
}

}  // namespace

WorkerEventQueue::WorkerEventQueue() : fd_(makeEventFd()) {}

WorkerEventQueue::~WorkerEventQueue() {
    ::close(fd_);
}

void WorkerEventQueue::push(WorkerEvent event) {
    {
        std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    signalEventFd(fd_);
}

std::optional<WorkerEvent> WorkerEventQueue::pop() {
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

CancelFlag::CancelFlag() : fd_(makeEventFd()) {}

CancelFlag::~CancelFlag() {
    ::close(fd_);
}

void CancelFlag::raise(int signal) {
    signal_.store(signal);
    signalEventFd(fd_);
}

std::optional<int> CancelFlag::take() {
    std::uint64_t count = 0;
    if (::read(fd_, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) {
        return std::nullopt;
    }
    return signal_.load();
}

WaitEnd PortSession::wait(Clock::time_point deadline, WorkerEvent* event, int inputFd) {
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

}  // namespace tidewell
