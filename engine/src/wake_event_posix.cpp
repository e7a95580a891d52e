// Linux: eventfds, polled beside the caller's descriptor.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>
#include <vector>

#include "wake_event.h"

namespace tidewell::wake {

WaitHandle make() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

void close(WaitHandle event) {
    ::close(event);
}

void set(WaitHandle event) {
    const std::uint64_t one = 1;
    // A full counter (never reached in practice) still leaves fd readable.
    [[maybe_unused]] const auto written = ::write(event, &one, sizeof one);
}

bool clear(WaitHandle event) {
    std::uint64_t count = 0;
    return ::read(event, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

int waitForAny(std::span<const WaitHandle> events, int inputFd, int timeoutMs) {
    std::vector<pollfd> fds;
    for (const WaitHandle event : events) fds.push_back({event, POLLIN, 0});
    if (inputFd >= 0) fds.push_back({inputFd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
        if (errno == EINTR) return -1;
        throw std::system_error(errno, std::generic_category(), "poll");
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace tidewell::wake
