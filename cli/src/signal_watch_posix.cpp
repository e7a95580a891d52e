#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "signal_watch.h"

namespace tidewell::cli {

SignalWatch::SignalWatch() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, &previous_); error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    }
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

SignalWatch::~SignalWatch() {
    ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

std::optional<int> SignalWatch::take() {
    signalfd_siginfo info{};
    if (::read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return std::nullopt;
    return static_cast<int>(info.ssi_signo);
}

}  // namespace tidewell::cli
