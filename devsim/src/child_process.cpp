#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <stdexcept>

#include "text.h"

extern char** environ;

namespace tidewell::devsim {

namespace {

// posix_spawn's attribute and file-action objects, released on every path.
class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawnattr_init(&attributes);
        ::posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        ::posix_spawnattr_destroy(&attributes);
        ::posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::filesystem::path& folder, int errorFd) {
    const std::string program = argv.empty() ? std::string() : argv.front();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        throw std::runtime_error(osError("socketpair for " + program, errno));
    }
    socket_.reset(ends[0]);
    UniqueFd childEnd(ends[1]);
    UniqueFd devNull;
    if (errorFd < 0) {
        devNull.reset(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        errorFd = devNull.get();
    }

    SpawnSetup setup;
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE, SIGHUP})
        sigaddset(&defaults, signal);
    ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    ::posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::posix_spawn_file_actions_adddup2(&setup.actions, childEnd.get(), STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&setup.actions, childEnd.get(), STDOUT_FILENO);
    if (errorFd >= 0) ::posix_spawn_file_actions_adddup2(&setup.actions, errorFd, STDERR_FILENO);
    ::posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());

    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int error = ::posix_spawnp(&pid_, program.c_str(), &setup.actions, &setup.attributes,
                                     args.data(), environ);
    if (error != 0) {
        pid_ = -1;
        throw std::runtime_error(osError("start " + program, error));
    }
    const int flags = ::fcntl(socket_.get(), F_GETFL);
    ::fcntl(socket_.get(), F_SETFL, flags | O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

bool ChildProcess::reap() {
    if (exited_ || pid_ <= 0) return exited_;
    const pid_t got = ::waitpid(pid_, &status_, WNOHANG);
    if (got == pid_) exited_ = true;
    return exited_;
}

bool ChildProcess::succeeded() const {
    return exited_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
}

std::string ChildProcess::describeStatus() const {
    if (!exited_) return "running";
    if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
    if (WIFSIGNALED(status_)) return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "ended";
}

}  // namespace tidewell::devsim
