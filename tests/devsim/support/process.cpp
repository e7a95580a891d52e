#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tidewell/testsupport/temp_dir.h"

#ifndef TIDEWELL_DEVSIM_PATH
#error "TIDEWELL_DEVSIM_PATH must name the built tidewell-devsim"
#endif

namespace tidewell::devsim::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Millis kPollStep{5};

int remainingMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<Millis>(end - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Waits for input; false at the deadline or when the line is gone.
bool readable(int fd, Clock::time_point end) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, remainingMs(end)) > 0 && (p.revents & POLLIN) != 0;
}

}  // namespace

bool toolAvailable(const std::string& name) {
    return !testsupport::findProgram(name).empty();
}

namespace {

testsupport::DevsimOptions devsimOptions(const std::filesystem::path& folder,
                                         const std::vector<std::string>& extra) {
    testsupport::DevsimOptions options;
    options.program = TIDEWELL_DEVSIM_PATH;
    options.link = folder / "device";
    options.store = folder / "store";
    options.log = folder / "devsim.log";
    options.extra = extra;
    return options;
}

}  // namespace

DevsimProcess::DevsimProcess(const std::filesystem::path& folder,
                             const std::vector<std::string>& extra)
    : process_(devsimOptions(folder, extra)) {}

std::string DevsimProcess::logText() const {
    return readText(logPath());
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
    return process_.child().running();
}

int DevsimProcess::stop(int signal, Millis limit) {
    process_.child().signal(signal);
    return process_.child().wait(limit).value_or(-1);
}

Finished runDevsimToEnd(const std::vector<std::string>& args, Millis limit) {
    const testsupport::TempDir folder("devsim-run");
    testsupport::SpawnOptions options;
    options.args = {TIDEWELL_DEVSIM_PATH};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.stdoutFile = folder / "out";
    options.stderrFile = folder / "err";
    Finished result;
    {
        testsupport::ChildProcess child(options);
        result.exitCode = child.wait(limit).value_or(-1);
    }
    result.out = readText(options.stdoutFile);
    result.err = readText(options.stderrFile);
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
    std::optional<testsupport::ChildProcess> tool;
    try {
        tool.emplace(argv, ends[1], ends[1], false, folder);
    } catch (const std::exception&) {
        ::close(ends[1]);
        ::close(relay);
        return -1;
    }
    ::close(ends[1]);
    // Relay between the line and the tool until the tool ends.
    const auto end = Clock::now() + limit;
    std::optional<int> status;
    bool toolOpen = true;
    char buffer[4096];
    while (Clock::now() < end) {
        status = tool->wait(Millis{0});
        if (status) break;
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
    return status.value_or(-1);
}

}  // namespace tidewell::devsim::testing
