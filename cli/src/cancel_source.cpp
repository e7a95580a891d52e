#include "cancel_source.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace tidewell::cli {

CancelFlag::CancelFlag() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

CancelFlag::~CancelFlag() {
    ::close(fd_);
}

void CancelFlag::raise(int signal) {
    signal_.store(signal);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

std::optional<int> CancelFlag::take() {
    std::uint64_t count = 0;
    if (::read(fd_, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) {
        return std::nullopt;
    }
    return signal_.load();
}

}  // namespace tidewell::cli
