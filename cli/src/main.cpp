// tidewell-cli: updates, backs up and restores the device from a shell.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string_view>
#include <vector>

#include "tidewell/cli/run.h"

int main(int argc, char** argv) {
    // A closed pipe on standard output shows up as a write error, not as a kill.
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const tidewell::cli::CliIo io{std::cout, std::cerr, STDIN_FILENO, ::isatty(STDERR_FILENO) == 1,
                                  ::isatty(STDOUT_FILENO) == 1};
    return tidewell::cli::runCli(args, io);
}
