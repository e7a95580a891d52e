// The built tidewell-devsim program and lrzsz, run over a real pseudo-terminal.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/testsupport/devsim_process.h"

namespace tidewell::devsim::testing {

using testsupport::Millis;

bool toolAvailable(const std::string& name);

// One running tidewell-devsim with --link, --store and --log inside folder,
// plus extra arguments. The constructor waits for the ready line; the
// destructor stops it.
class DevsimProcess {
  public:
    DevsimProcess(const std::filesystem::path& folder, const std::vector<std::string>& extra);
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    const std::string& readyLine() const { return process_.readyLine(); }
    const std::filesystem::path& link() const { return process_.link(); }
    const std::filesystem::path& store() const { return process_.store(); }
    const std::filesystem::path& logPath() const { return process_.logPath(); }
    std::string logText() const;
    // Waits until the log holds text, at least count times.
    bool waitForLog(std::string_view text, Millis limit, int count = 1) const;
    bool running();
    // Sends the signal and waits for the exit; the exit code (128 + signal when
    // killed), or -1 when the program did not end within limit.
    int stop(int signal, Millis limit = Millis(10000));

  private:
    testsupport::DevsimProcess process_;
};

// Runs tidewell-devsim to its end (for option errors); exit code and stderr.
struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};
Finished runDevsimToEnd(const std::vector<std::string>& args, Millis limit = Millis(10000));

// The host's end of the line: opens path raw.
class HostPort {
  public:
    explicit HostPort(const std::filesystem::path& path);
    ~HostPort();
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    int fd() const { return fd_; }
    void write(std::string_view bytes);
    // Reads byte by byte up to "\r\n" (returned without it), so nothing after
    // the line is taken from the terminal.
    std::optional<std::string> readLine(Millis limit);
    // Reads until text has been seen; everything read goes to *seen.
    bool readUntil(std::string_view text, Millis limit, std::string* seen = nullptr);
    // Wake-up, log-in, and the reply up to its ":OK:" line.
    bool logIn();
    // True when the line hangs up (read gives 0 or an error, or poll reports a hang-up).
    bool waitForHangup(Millis limit);

  private:
    int fd_ = -1;
};

// Runs a program in folder with its standard input and output relayed to fd
// (stderr to /dev/null); the exit code, or -1 when it did not end within limit
// (it is killed then). The relay is a socket pair because lrzsz flushes its
// terminal's queues after every ACK and on exit: on a pseudo-terminal that
// discards bytes the device has already sent, which a real line would still
// be carrying.
int runTool(const std::vector<std::string>& argv, int fd, const std::filesystem::path& folder,
            Millis limit);

}  // namespace tidewell::devsim::testing
