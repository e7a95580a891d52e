// tidewell-cli as a function: parses the arguments, runs the command, returns the
// exit status (see exit_status.h). main() is this and nothing else.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace tidewell::cli {

struct CliIo {
    std::ostream& out;           // results: the backup path, reply lines, the port list
    std::ostream& err;           // messages, progress, device lines
    int inputFd = 0;             // terminal: lines to send
    bool errIsTerminal = false;  // one redrawn progress line instead of plain lines
    // Device lines on `out` show control characters visibly; elsewhere (a file, a
    // pipe) they are the device's bytes exactly.
    bool outIsTerminal = false;
};

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread while a port is open and
// reads them as a request to cancel; call it before starting any other thread.
int runCli(std::span<const std::string_view> args, const CliIo& io);

}  // namespace tidewell::cli
