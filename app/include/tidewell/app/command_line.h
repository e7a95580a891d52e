// Command line of the wizard program `tidewell`. The wizard takes no arguments
// of its own: only --help and --version, each alone; anything else is a usage
// error. The help text is the one source of the manual page's tables.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tidewell {

inline constexpr int kProgramUsageError = 2;

struct ProgramCommand {
    enum class Action { run, help, version, usageError };
    Action action = Action::run;
    std::string error;  // usageError: what is wrong
};

// The arguments that follow the program name.
ProgramCommand parseProgramArguments(std::span<const std::string_view> args);

// The --help text, its exit statuses included.
std::string programHelpText();

// Before answering --help or --version: a windowed Windows program has no standard streams
// of its own, so they go to the console it was started from, when there is one and they
// were not redirected. Elsewhere nothing to do.
void useStartingConsole();

}  // namespace tidewell
