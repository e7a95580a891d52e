#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace tidewell::testing {

namespace {

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                           bool stdoutPipe, const std::string& workingDir) {
    int pipeFds[2] = {-1, -1};
    if (stdoutPipe && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        fail("pipe", errno);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (stdoutPipe) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    } else if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!workingDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    }
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int error = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutPipe) {
        ::close(pipeFds[1]);
        outPipe_ = pipeFds[0];
    }
    if (error != 0) {
        pid_ = -1;
        fail("spawn " + argv[0], error);
    }
}

ChildProcess::~ChildProcess() {
    terminate();
    if (outPipe_ >= 0) {
        ::close(outPipe_);
    }
}

bool ChildProcess::readLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || outPipe_ < 0) {
            return false;
        }
        pollfd pfd{outPipe_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char chunk[256];
        const ssize_t got = ::read(outPipe_, chunk, sizeof chunk);
        if (got <= 0) {
            return false;
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ < 0) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::terminate() {
    if (pid_ < 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (wait(std::chrono::seconds(5)) < 0 && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

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

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace tidewell::testing
