// A program started for a test with redirected streams; stopped (SIGTERM, then
// SIGKILL) and reaped on destruction.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tidewell::testsupport {

using Millis = std::chrono::milliseconds;

struct SpawnOptions {
    std::vector<std::string> args;  // args[0]: a path, or a name looked up on PATH
    std::vector<std::string> env;   // "NAME=value", added to (or replacing in) this environment
    // Standard input: stdinFd when >= 0, else stdinFile, else /dev/null.
    int stdinFd = -1;
    std::filesystem::path stdinFile;
    // Standard output: a pipe read through readLine, else stdoutFd when >= 0, else
    // stdoutFile (created), else /dev/null.
    bool stdoutPipe = false;
    int stdoutFd = -1;
    std::filesystem::path stdoutFile;
    std::filesystem::path stderrFile;     // empty: /dev/null
    std::filesystem::path workingDir;     // empty: this process's
    std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE, with SIGXFSZ ignored
};

class ChildProcess {
  public:
    // Throws when the program cannot be started, naming it and the OS reason.
    explicit ChildProcess(const SpawnOptions& options);
    // stdinFd/stdoutFd: the child's standard input and output (-1: /dev/null);
    // stdoutPipe: its output is read through readLine instead.
    ChildProcess(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                 bool stdoutPipe = false, const std::filesystem::path& workingDir = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // One line of the piped output (without its '\n'); false at the deadline or end of output.
    bool readLine(std::string& line, Millis timeout);
    // The exit code (128 + signal when killed) once the child has ended within timeout.
    std::optional<int> wait(Millis timeout);
    // The child's peak resident memory in KiB, once it has ended and been waited for.
    std::optional<long> peakRssKib() const { return peakRssKib_; }
    // The CPU time (user and system) it used, once it has ended and been waited for.
    std::optional<std::chrono::microseconds> cpuTime() const { return cpuTime_; }
    bool running();
    // SIGTERM, and SIGKILL when it has not ended a few seconds later.
    void terminate();

  private:
    pid_t pid_ = -1;
    int outPipe_ = -1;
    std::optional<int> status_;
    std::optional<long> peakRssKib_;
    std::optional<std::chrono::microseconds> cpuTime_;
    std::string buffered_;
};

// The CPU time (user and system) this process has used so far, all threads.
std::chrono::microseconds processCpuTime();

// Full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

}  // namespace tidewell::testsupport
