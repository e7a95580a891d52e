#include "tidewell/cli/run.h"

#include "session.h"
#include "several_ports.h"
#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"
#include "tidewell/ini/settings_store.h"
#include "tidewell/version.h"

namespace tidewell::cli {

namespace {

ExitStatus runParsed(const ParseResult& parsed, const CliIo& io) {
    if (!parsed.ok()) {
        io.err << kProgramName << ": " << parsed.error << "\n"
               << "Try '" << kProgramName << " --help' for more information.\n";
        return ExitStatus::usage;
    }
    if (parsed.helpRequested) {
        io.out << usageText();
        return ExitStatus::ok;
    }
    if (parsed.versionRequested) {
        io.out << kProgramName << " " << kTidewellVersion << "\n";
        return ExitStatus::ok;
    }
    if (!std::holds_alternative<VerifyJob>(parsed.job) &&
        !std::holds_alternative<TraceJob>(parsed.job)) {
        // COM numbers and the saved port then come from the defaults; the file is left alone.
        if (const std::string problem = SettingsStore().readProblem(); !problem.empty()) {
            io.err << kProgramName << ": the settings are not used: " << problem << "\n";
        }
    }
    if (onSeveralPorts(parsed.options, parsed.job)) {
        return runOnSeveralPorts(parsed.options, parsed.job, io);
    }
    Session session(parsed.options, parsed.job, io);
    return session.run();
}

}  // namespace

int runCli(std::span<const std::string_view> args, const CliIo& io) {
    ExitStatus status = runParsed(parseArguments(args), io);
    // A backup path or reply that never reached its reader is a failed run.
    if (!io.out.flush() && status == ExitStatus::ok) {
        io.err << kProgramName << ": cannot write to standard output\n";
        status = ExitStatus::localFile;
    }
    return exitCode(status);
}

}  // namespace tidewell::cli
