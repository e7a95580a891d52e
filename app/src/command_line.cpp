#include "tidewell/app/command_line.h"

namespace tidewell {

ProgramCommand parseProgramArguments(std::span<const std::string_view> args) {
    ProgramCommand command;
    if (args.empty()) return command;
    const std::string_view first = args.front();
    if (args.size() > 1) {
        command.action = ProgramCommand::Action::usageError;
        command.error = "too many arguments; the wizard takes none";
    } else if (first == "-h" || first == "--help") {
        command.action = ProgramCommand::Action::help;
    } else if (first == "--version") {
        command.action = ProgramCommand::Action::version;
    } else {
        command.action = ProgramCommand::Action::usageError;
        command.error = (first.starts_with('-') ? "unknown option " : "unexpected argument ") +
                        std::string(first);
    }
    return command;
}

std::string programHelpText() {
    return "Usage: tidewell [OPTION]\n"
           "Update the firmware of a Tidewell player, and back up and restore its setting\n"
           "and playlist files, in a wizard.\n"
           "\n"
           "Options:\n"
           "  -h, --help             show this help\n"
           "      --version          show the version\n"
           "\n"
           "Exit status:\n"
           "      0  the wizard or the terminal window was closed\n"
           "      1  the program cannot start (no display, or its window cannot be made)\n"
           "      2  usage error: an option or argument it does not take\n";
}

}  // namespace tidewell
