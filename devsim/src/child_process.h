// A helper program (lrzsz) whose standard input and output are one end of a
// socket pair; the device relays the line to the other end.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "unique_fd.h"

namespace tidewell::devsim {

class ChildProcess {
  public:
    // Starts argv[0] (looked up in PATH) in folder with the socket as fds 0 and
    // 1, errorFd (or /dev/null when -1) as fd 2, default signal handling and an
    // empty signal mask. Throws std::runtime_error naming the program and reason.
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                 int errorFd);
    // Kills and reaps a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Our end of the socket, non-blocking; invalid once closed.
    UniqueFd& socket() { return socket_; }

    // Collects the exit status when the child has ended; true once it has.
    bool reap();
    bool exited() const { return exited_; }
    bool succeeded() const;
    std::string describeStatus() const;

  private:
    pid_t pid_ = -1;
    UniqueFd socket_;
    bool exited_ = false;
    int status_ = 0;
};

}  // namespace tidewell::devsim
