#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace tidewell::testing {

namespace {

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        fail("openpty", errno);
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
    termios mode{};
    ::tcgetattr(slave_, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(slave_, TCSANOW, &mode);
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

PtyBridge::PtyBridge() {
    peerInput_ = ::open(far_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (peerInput_ < 0 || ::pipe2(peerOutput_, O_CLOEXEC) != 0 ||
        ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        fail("bridge to " + far_.slavePath(), errno);
    }
    copier_ = std::thread([this] { copyLoop(); });
}

PtyBridge::~PtyBridge() {
    const char stop = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe_[1], &stop, 1);
    copier_.join();
    for (int fd : {stopPipe_[0], stopPipe_[1], peerOutput_[0], peerOutput_[1], peerInput_}) {
        ::close(fd);
    }
}

namespace {

void copyAll(int from, int to) {
    char chunk[4096];
    const ssize_t got = ::read(from, chunk, sizeof chunk);
    for (ssize_t done = 0; got > 0 && done < got;) {
        const ssize_t put = ::write(to, chunk + done, static_cast<std::size_t>(got - done));
        if (put < 0 && errno != EINTR) {
            return;
        }
        done += put > 0 ? put : 0;
    }
}

}  // namespace

void PtyBridge::copyLoop() {
    for (;;) {
        pollfd fds[3] = {
            {near_.master(), POLLIN, 0}, {peerOutput_[0], POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[2].revents != 0) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            copyAll(near_.master(), far_.master());
        }
        if (fds[1].revents & POLLIN) {
            copyAll(peerOutput_[0], near_.master());
        }
        if (((fds[0].revents | fds[1].revents) & POLLIN) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a side hung up for now
        }
    }
}

}  // namespace tidewell::testing
