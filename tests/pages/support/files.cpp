#include "files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tidewell::pages::testing {

namespace fs = std::filesystem;

namespace {

constexpr Millis kPollStep{5};
constexpr Millis kDevsimReady{10000};
constexpr Millis kDevsimStop{10000};

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (fs::path(base != nullptr && *base != '\0' ? base : "/tmp") / "tidewell-pages-XXXXXX")
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw failure("mkdtemp " + pattern);
    }
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
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random() & 0xFFu);
    }
    return bytes;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool waitForText(const fs::path& file, std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

Child::Child(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
             const fs::path& stdoutFile, const fs::path& stderrFile) {
    // Everything the child needs is built before fork.
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv;
    for (auto& arg : argCopy) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) {
        throw failure("open the streams of " + args.front());
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
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
    if (pid_ > 0 && !status_) {
        ::kill(pid_, number);
    }
}

bool Child::running() {
    return !wait(Millis{0}).has_value();
}

std::optional<int> Child::wait(Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_) {
        int raw = 0;
        if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return status_;
}

std::string devsimProgram() {
    return TIDEWELL_DEVSIM;
}

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& options)
    : link_(folder / "tty"), store_(folder / "store"), log_(folder / "devsim.log") {
    fs::create_directories(store_);
    std::vector<std::string> args = {devsimProgram(), "--link", link_.string(), "--store",
                                     store_.string(), "--log",  log_.string()};
    args.insert(args.end(), options.begin(), options.end());
    const fs::path ready = folder / "devsim.out";
    child_.emplace(args, std::vector<std::string>{}, ready, folder / "devsim.err");
    // Ready once it printed the slave's path (the link exists then).
    if (!waitForText(ready, "\n", kDevsimReady)) {
        throw std::runtime_error("tidewell-devsim did not get ready: " +
                                 readFile(folder / "devsim.err"));
    }
}

Devsim::~Devsim() {
    child_->signal(SIGTERM);
    child_->wait(kDevsimStop);
}

}  // namespace tidewell::pages::testing
