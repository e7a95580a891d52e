#include "processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tidewell::cli::testing {

namespace fs = std::filesystem;

namespace {

constexpr Millis kPollStep{5};
constexpr Millis kDevsimReady{10000};
constexpr Millis kDevsimStop{10000};

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

int openOr(const fs::path& path, int flags, const char* fallback) {
    const int fd = ::open(path.empty() ? fallback : path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) throw failure("open " + (path.empty() ? std::string(fallback) : path.string()));
    return fd;
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (fs::path(base && *base ? base : "/tmp") / "tidewell-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw failure("mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(random() & 0xFFu);
    return bytes;
}

bool waitForText(const fs::path& file, std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

Child::Child(const SpawnOptions& options) {
    // Everything the child needs is built before fork: after it only
    // async-signal-safe calls are made.
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

    const int in = openOr(options.stdinFile, O_RDONLY, "/dev/null");
    const int out = options.stdoutFd >= 0
                        ? ::fcntl(options.stdoutFd, F_DUPFD_CLOEXEC, 0)
                        : openOr(options.stdoutFile, O_WRONLY | O_CREAT | O_TRUNC, "/dev/null");
    const int err = openOr(options.stderrFile, O_WRONLY | O_CREAT | O_TRUNC, "/dev/null");
    rlimit limit{};
    if (options.fileSizeLimit) limit = {*options.fileSizeLimit, *options.fileSizeLimit};

    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(in);
    ::close(out);
    ::close(err);
    if (pid_ < 0) {
        errno = forkError;
        throw failure("fork");
    }
}

Child::~Child() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int ignored = 0;
        ::waitpid(pid_, &ignored, 0);
    }
}

void Child::signal(int number) const {
    if (pid_ > 0 && !status_) ::kill(pid_, number);
}

std::optional<int> Child::wait(Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_) {
        int raw = 0;
        const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(kPollStep);
    }
    return status_;
}

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& extra)
    : link_(folder / "tty"), store_(folder / "store"), log_(folder / "devsim.log") {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw failure("pipe");
    SpawnOptions options;
    options.args = {TIDEWELL_DEVSIM, "--link", link_.string(), "--store",
                    store_.string(), "--log",  log_.string()};
    options.args.insert(options.args.end(), extra.begin(), extra.end());
    options.stdoutFd = ready[1];
    options.stderrFile = folder / "devsim.err";
    child_.emplace(options);
    ::close(ready[1]);
    // The ready line: the slave's path, printed once the link exists.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kDevsimReady;
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
        pollfd p{ready[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[256];
        const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
        if (got <= 0) break;
        line.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(ready[0]);
    if (line.find('\n') == std::string::npos) {
        throw std::runtime_error("tidewell-devsim did not get ready: " +
                                 readFile(folder / "devsim.err"));
    }
}

Devsim::~Devsim() {
    child_->signal(SIGTERM);
    child_->wait(kDevsimStop);
}

CliRun runCli(const fs::path& folder, const std::vector<std::string>& args,
              const CliExtras& extras) {
    SpawnOptions options;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdinFile = folder / "cli.in";
    options.stdoutFile = folder / "cli.out";
    options.stderrFile = folder / "cli.err";
    options.fileSizeLimit = extras.fileSizeLimit;
    writeFile(options.stdinFile, extras.input);
    Child child(options);
    CliRun run;
    run.status = child.wait(extras.limit).value_or(-1);
    run.out = readFile(options.stdoutFile);
    run.err = readFile(options.stderrFile);
    return run;
}

std::unique_ptr<Child> startCli(const fs::path& folder, const std::vector<std::string>& args) {
    SpawnOptions options;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdoutFile = folder / "cli.out";
    options.stderrFile = folder / "cli.err";
    return std::make_unique<Child>(options);
}

}  // namespace tidewell::cli::testing
