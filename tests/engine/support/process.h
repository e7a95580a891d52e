// Child processes for end-to-end tests: tidewell-devsim on its own pseudo-terminal,
// and lrzsz on the master side of a pseudo-terminal that the engine opens.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tidewell::testing {

// A started program; killed (SIGTERM, then SIGKILL) and reaped on destruction.
class ChildProcess {
  public:
    // stdinFd/stdoutFd: descriptors for the child's standard input and output (-1:
    // /dev/null); stdoutPipe: read the child's output through readLine instead.
    ChildProcess(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                 bool stdoutPipe = false, const std::string& workingDir = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // One line of the piped output, or false at the deadline or end of output.
    bool readLine(std::string& line, std::chrono::milliseconds timeout);
    // Exit status once the child has ended within timeout; -1 otherwise.
    int wait(std::chrono::milliseconds timeout);
    void terminate();
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int outPipe_ = -1;
    int status_ = -1;
    std::string buffered_;
};

// A pseudo-terminal pair opened in this process, raw on both sides.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    void closeMaster();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A peer program's line to the engine, like a null-modem cable: the engine opens
// nearPath(); the peer reads its standard input from a terminal of its own and writes
// its standard output into a pipe, and a thread copies both ways. lrzsz flushes its
// terminal's queues as it exits, which on a shared pseudo-terminal would throw away its
// last ACK before the engine has read it.
class PtyBridge {
  public:
    PtyBridge();
    ~PtyBridge();
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    const std::string& nearPath() const { return near_.slavePath(); }
    int peerInput() const { return peerInput_; }
    int peerOutput() const { return peerOutput_[1]; }

  private:
    void copyLoop();

    PtyPair near_;
    PtyPair far_;
    int peerInput_ = -1;
    int peerOutput_[2] = {-1, -1};
    int stopPipe_[2] = {-1, -1};
    std::thread copier_;
};

// Full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

}  // namespace tidewell::testing
