#include "tidewell/testsupport/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace tidewell::testsupport {

namespace fs = std::filesystem;

namespace {

constexpr Millis kPollStep{5};
constexpr Millis kTermGrace{5000};

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::system_error(error, std::generic_category(), what);
}

// A descriptor owned until the end of the scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

int openStream(const fs::path& path, int flags, const char* fallback) {
    const std::string name = path.empty() ? std::string(fallback) : path.string();
    const int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) fail("open " + name, errno);
    return fd;
}

int duplicate(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) fail("dup " + std::to_string(fd), errno);
    return copy;
}

// Writes the errno of a failed step to the error pipe and ends the child.
[[noreturn]] void childFails(int errorPipe) {
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

std::chrono::microseconds cpuOf(const rusage& usage) {
    using std::chrono::microseconds;
    using std::chrono::seconds;
    return seconds(usage.ru_utime.tv_sec) + microseconds(usage.ru_utime.tv_usec) +
           seconds(usage.ru_stime.tv_sec) + microseconds(usage.ru_stime.tv_usec);
}

}  // namespace

std::chrono::microseconds processCpuTime() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return cpuOf(usage);
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                           bool stdoutPipe, const fs::path& workingDir)
    : ChildProcess(SpawnOptions{.args = argv,
                                .env = {},
                                .stdinFd = stdinFd,
                                .stdinFile = {},
                                .stdoutPipe = stdoutPipe,
                                .stdoutFd = stdoutFd,
                                .stdoutFile = {},
                                .stderrFile = {},
                                .workingDir = workingDir,
                                .fileSizeLimit = std::nullopt}) {}

ChildProcess::ChildProcess(const SpawnOptions& options) {
    if (options.args.empty()) throw std::invalid_argument("ChildProcess: no program given");
    // Everything the child needs is built before fork: after it only
    // async-signal-safe calls are made.
    std::string program = options.args[0];
    if (program.find('/') == std::string::npos) {
        program = findProgram(options.args[0]);
        if (program.empty()) fail("cannot find " + options.args[0] + " on PATH", ENOENT);
    }
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const auto name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const auto& extra : options.env) replaced = replaced || extra.starts_with(name);
        if (!replaced) env.emplace_back(text);
    }
    env.insert(env.end(), options.env.begin(), options.env.end());
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = options.args;
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string workingDir = options.workingDir.string();

    Fd in(options.stdinFd >= 0 ? duplicate(options.stdinFd)
                               : openStream(options.stdinFile, O_RDONLY, "/dev/null"));
    Fd pipeRead;
    Fd out;
    if (options.stdoutPipe) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) fail("pipe for " + options.args[0], errno);
        pipeRead.reset(fds[0]);
        out.reset(fds[1]);
    } else if (options.stdoutFd >= 0) {
        out.reset(duplicate(options.stdoutFd));
    } else {
        out.reset(openStream(options.stdoutFile, O_WRONLY | O_CREAT | O_TRUNC, "/dev/null"));
    }
    Fd err(openStream(options.stderrFile, O_WRONLY | O_CREAT | O_TRUNC, "/dev/null"));
    int errorFds[2];
    if (::pipe2(errorFds, O_CLOEXEC) != 0) fail("pipe for " + options.args[0], errno);
    Fd errorRead(errorFds[0]);
    Fd errorWrite(errorFds[1]);
    rlimit limit{};
    if (options.fileSizeLimit) limit = {*options.fileSizeLimit, *options.fileSizeLimit};

    pid_ = ::fork();
    if (pid_ == 0) {
        if (::dup2(in.get(), STDIN_FILENO) < 0 || ::dup2(out.get(), STDOUT_FILENO) < 0 ||
            ::dup2(err.get(), STDERR_FILENO) < 0) {
            childFails(errorWrite.get());
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!workingDir.empty() && ::chdir(workingDir.c_str()) != 0) childFails(errorWrite.get());
        ::execve(program.c_str(), argv.data(), envp.data());
        childFails(errorWrite.get());
    }
    if (pid_ < 0) fail("fork for " + options.args[0], errno);
    errorWrite.reset();
    int childError = 0;
    ssize_t got = 0;
    do {
        got = ::read(errorRead.get(), &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        int ignored = 0;
        ::waitpid(pid_, &ignored, 0);
        pid_ = -1;
        fail("cannot run " + program + (workingDir.empty() ? std::string() : " in " + workingDir),
             childError);
    }
    outPipe_ = pipeRead.release();
}

ChildProcess::~ChildProcess() {
    terminate();
    if (outPipe_ >= 0) ::close(outPipe_);
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0 && !status_) ::kill(pid_, number);
}

bool ChildProcess::readLine(std::string& line, Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || outPipe_ < 0) return false;
        pollfd pfd{outPipe_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[256];
        const ssize_t got = ::read(outPipe_, chunk, sizeof chunk);
        if (got <= 0) return false;
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<int> ChildProcess::wait(Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!status_ && pid_ > 0) {
        int raw = 0;
        rusage usage{};
        if (::wait4(pid_, &raw, WNOHANG, &usage) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            peakRssKib_ = usage.ru_maxrss;
            cpuTime_ = cpuOf(usage);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollStep);
    }
    return status_;
}

bool ChildProcess::running() {
    return pid_ > 0 && !wait(Millis{0}).has_value();
}

void ChildProcess::terminate() {
    if (pid_ <= 0 || status_) return;
    ::kill(pid_, SIGTERM);
    if (!wait(kTermGrace)) {
        ::kill(pid_, SIGKILL);
        wait(kTermGrace);
    }
}

}  // namespace tidewell::testsupport
