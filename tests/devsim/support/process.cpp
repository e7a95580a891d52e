#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef TIDEWELL_DEVSIM_PATH
#error "TIDEWELL_DEVSIM_PATH must name the built tidewell-devsim"
#endif

extern char** environ;

namespace tidewell::devsim::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Millis kPollStep{5};

int remainingMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<Millis>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for input; false at the deadline or when the line is gone.
bool readable(int fd, Clock::time_point end) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, remainingMs(end)) > 0 && (p.revents & POLLIN) != 0;
}

std::vector<char*> argvOf(const std::vector<std::string>& args) {
    std::vector<char*> out;
    for (const auto& arg : args) out.push_back(const_cast<char*>(arg.c_str()));
    out.push_back(nullptr);
    return out;
}

// Waits for pid to end; its raw status, or nothing at the deadline.
std::optional<int> waitFor(pid_t pid, Millis limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) return status;
        if (got < 0 || Clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(kPollStep);
    }
}

int exitCodeOf(std::optional<int> status) {
    if (!status || !WIFEXITED(*status)) return -1;
    return WEXITSTATUS(*status);
}

std::string readAll(int fd, Clock::time_point end) {
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(end)) <= 0) return text;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

bool toolAvailable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

DevsimProcess::DevsimProcess(const std::filesystem::path& folder,
                             const std::vector<std::string>& extra)
    : link_(folder / "device"), store_(folder / "store"), log_(folder / "devsim.log") {
    std::vector<std::string> args = {TIDEWELL_DEVSIM_PATH, "--link", link_.string(), "--store",
                                     store_.string(),      "--log",  log_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    auto argv = argvOf(args);
    const int error =
        ::posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + args[0]);
    }
    const auto end = Clock::now() + Millis(20000);
    char c = 0;
    while (readyLine_.empty() || readyLine_.back() != '\n') {
        pollfd p{stdout_, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(end)) <= 0 || ::read(stdout_, &c, 1) != 1) {
            throw std::runtime_error("tidewell-devsim printed no ready line");
        }
        readyLine_ += c;
    }
    readyLine_.pop_back();
}

DevsimProcess::~DevsimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
}

std::string DevsimProcess::logText() const {
    std::ifstream file(log_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool DevsimProcess::waitForLog(std::string_view text, Millis limit, int count) const {
    const auto end = Clock::now() + limit;
    for (;;) {
        const std::string log = logText();
        int found = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++found;
        if (found >= count) return true;
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(kPollStep);
    }
}

bool DevsimProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int DevsimProcess::stop(int signal, Millis limit) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    const auto status = waitFor(pid_, limit);
    if (status) pid_ = -1;
    return exitCodeOf(status);
}

Finished runDevsimToEnd(const std::vector<std::string>& args, Millis limit) {
    std::vector<std::string> all = {TIDEWELL_DEVSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    pid_t pid = -1;
    auto argv = argvOf(all);
    const int error = ::posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    Finished result;
    if (error == 0) {
        const auto end = Clock::now() + limit;
        result.out = readAll(out[0], end);
        result.err = readAll(err[0], end);
        const auto status = waitFor(pid, limit);
        if (!status) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        result.exitCode = exitCodeOf(status);
    }
    ::close(out[0]);
    ::close(err[0]);
    return result;
}

HostPort::HostPort(const std::filesystem::path& path) {
    // Blocking, because lrzsz shares it; every read waits in poll first.
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path.string());
    termios settings{};
    ::tcgetattr(fd_, &settings);
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &settings);
}

HostPort::~HostPort() {
    if (fd_ >= 0) ::close(fd_);
}

void HostPort::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
        } else if (written < 0 && errno != EINTR) {
            throw std::runtime_error("write to the device failed");
        }
    }
}

std::optional<std::string> HostPort::readLine(Millis limit) {
    const auto end = Clock::now() + limit;
    std::string line;
    for (;;) {
        char c = 0;
        if (!readable(fd_, end) || ::read(fd_, &c, 1) != 1) return std::nullopt;
        line += c;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
            line.resize(line.size() - 2);
            return line;
        }
    }
}

bool HostPort::readUntil(std::string_view text, Millis limit, std::string* seen) {
    const auto end = Clock::now() + limit;
    std::string got;
    for (;;) {
        char buffer[256];
        if (!readable(fd_, end)) return false;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        got.append(buffer, static_cast<std::size_t>(n));
        if (seen) *seen = got;
        if (got.find(text) != std::string::npos) return true;
    }
}

bool HostPort::logIn() {
    write("   ");
    if (!readUntil(":LOGIN:\r\n", Millis(5000))) return false;
    write("\r\npivot\r");
    for (;;) {
        const auto line = readLine(Millis(5000));
        if (!line) return false;
        if (line->find(":OK:") != std::string::npos) return true;
    }
}

bool HostPort::waitForHangup(Millis limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(end));
        if (ready <= 0) return false;
        if ((p.revents & (POLLHUP | POLLERR)) != 0) return true;
        char buffer[256];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return true;
    }
}

int runTool(const std::vector<std::string>& argv, int fd, const std::filesystem::path& folder,
            Millis limit) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
    const int relay = ends[0];
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    auto args = argvOf(argv);
    const int error =
        ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (error != 0) {
        ::close(relay);
        return -1;
    }
    // Relay between the line and the tool until the tool ends.
    const auto end = Clock::now() + limit;
    std::optional<int> status;
    bool toolOpen = true;
    char buffer[4096];
    while (Clock::now() < end) {
        int raw = 0;
        if (::waitpid(pid, &raw, WNOHANG) == pid) {
            status = raw;
            break;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {relay, static_cast<short>(toolOpen ? POLLIN : 0), 0}};
        if (::poll(fds, 2, static_cast<int>(kPollStep.count())) <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0 && ::send(relay, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) < 0) {
                toolOpen = false;
            }
        }
        if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t got = ::read(relay, buffer, sizeof buffer);
            if (got > 0) {
                for (ssize_t done = 0; done < got;) {
                    const ssize_t written =
                        ::write(fd, buffer + done, static_cast<std::size_t>(got - done));
                    if (written <= 0) break;
                    done += written;
                }
            } else {
                toolOpen = false;
            }
        }
    }
    ::close(relay);
    if (!status) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return exitCodeOf(status);
}

}  // namespace tidewell::devsim::testing
