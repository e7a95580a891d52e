// Windows: the events a PortSession waits on are manual-reset Win32 events, waited for
// with WaitForMultipleObjects beside the caller's input (a console or pipe handle).
// The engine's names come first: <windows.h> defines some of them (WM_USER) as macros.
// clang-format off
#include "tidewell/engine/port_session.h"
#include <io.h>
#include <windows.h>
// clang-format on

#include <algorithm>
#include <system_error>
#include <utility>

namespace tidewell {

namespace {

// No single wait is longer than a minute: the loop looks at the clock again.
constexpr long long kLongestWaitMs = 60'000;

HANDLE makeEvent() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
    }
    return event;
}

}  // namespace

WorkerEventQueue::WorkerEventQueue() : fd_(makeEvent()) {}

WorkerEventQueue::~WorkerEventQueue() {
    ::CloseHandle(fd_);
}

void WorkerEventQueue::push(WorkerEvent event) {
    {
        std::lock_guard guard(lock_);
        events_.push_back(std::move(event));
    }
    ::SetEvent(fd_);
}

std::optional<WorkerEvent> WorkerEventQueue::pop() {
    std::lock_guard guard(lock_);
    if (events_.empty()) {
        // Pushes take the lock first, so none can slip in between this and the reset.
        ::ResetEvent(fd_);
        return std::nullopt;
    }
    WorkerEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

CancelFlag::CancelFlag() : fd_(makeEvent()) {}

CancelFlag::~CancelFlag() {
    ::CloseHandle(fd_);
}

void CancelFlag::raise(int signal) {
    signal_.store(signal);
    ::SetEvent(fd_);
}

std::optional<int> CancelFlag::take() {
    if (::WaitForSingleObject(fd_, 0) != WAIT_OBJECT_0) return std::nullopt;
    ::ResetEvent(fd_);
    return signal_.load();
}

WaitEnd PortSession::wait(Clock::time_point deadline, WorkerEvent* event, int inputFd) {
    for (;;) {
        if (auto next = queue_.pop()) {
            if (next->kind == WorkerEvent::Kind::commandEnded) busy_ = false;
            *event = std::move(*next);
            return WaitEnd::event;
        }
        HANDLE handles[3] = {queue_.fd(), cancel_.fd(), nullptr};
        DWORD count = 2;
        if (inputFd >= 0) {
            handles[2] = reinterpret_cast<HANDLE>(::_get_osfhandle(inputFd));
            if (handles[2] != INVALID_HANDLE_VALUE) count = 3;
        }
        const auto now = Clock::now();
        if (now >= deadline) return WaitEnd::deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        const auto timeoutMs =
            static_cast<DWORD>(std::min<long long>(left.count(), kLongestWaitMs));
        const DWORD ready = ::WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
        if (ready == WAIT_FAILED) {
            throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                    "WaitForMultipleObjects");
        }
        if (ready == WAIT_OBJECT_0 + 1 && cancel_.take()) return WaitEnd::signal;
        if (count == 3 && ready == WAIT_OBJECT_0 + 2) return WaitEnd::input;
    }
}

}  // namespace tidewell
