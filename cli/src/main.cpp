// tidewell-cli: updates, backs up and restores the device from a shell.
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

#include "platform.h"
#include "tidewell/cli/run.h"

int main(int argc, char** argv) {
    tidewell::cli::prepareStandardStreams();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const tidewell::cli::CliIo io{std::cout, std::cerr, fileno(stdin),
                                  tidewell::cli::isTerminal(fileno(stderr)),
                                  tidewell::cli::isTerminal(fileno(stdout))};
    return tidewell::cli::runCli(args, io);
}
