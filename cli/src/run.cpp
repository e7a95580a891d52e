#include "tidewell/cli/run.h"

#include "session.h"
#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"

namespace tidewell::cli {

namespace {
constexpr std::string_view kVersion = "0.1.0";
}

int runCli(std::span<const std::string_view> args, const CliIo& io) {
    const ParseResult parsed = parseArguments(args);
    if (!parsed.ok()) {
        io.err << kProgramName << ": " << parsed.error << "\n"
               << "Try '" << kProgramName << " --help' for more information.\n";
        return exitCode(ExitStatus::usage);
    }
    if (parsed.helpRequested) {
        io.out << usageText() << std::flush;
        return exitCode(ExitStatus::ok);
    }
    if (parsed.versionRequested) {
        io.out << kProgramName << " " << kVersion << "\n" << std::flush;
        return exitCode(ExitStatus::ok);
    }
    Session session(parsed.options, io);
    return exitCode(session.run());
}

}  // namespace tidewell::cli
