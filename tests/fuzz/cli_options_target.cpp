// Fuzz target: tidewell-cli's command line. The input is split at NUL bytes into arguments
// (a real argument vector cannot hold a NUL).
//
// Invariants: a command line is either an error with a message or consistent options and job
// (a known command with the operands it takes, ports that are each either a COM number from 1
// to 16 or a path, "all" alone, several ports not for the terminal, no --json or --jobs for the
// terminal, ports or verify, no --jobs for trace, a positive speed, a timeout above 0 and at most a
// week); and the options and job, written back out as a command line, parse to the same options and
// job.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "fuzz_check.h"
#include "tidewell/cli/options.h"
#include "tidewell/serial/ports.h"

namespace {

using tidewell::cli::BackupJob;
using tidewell::cli::GlobalOptions;
using tidewell::cli::Job;
using tidewell::cli::ParseResult;
using tidewell::cli::RestoreJob;
using tidewell::cli::SendJob;
using tidewell::cli::TraceJob;
using tidewell::cli::UpdateJob;
using tidewell::cli::VerifyJob;

constexpr std::size_t kMaxArguments = 64;
constexpr std::chrono::milliseconds kLongestTimeout{7LL * 24 * 3600 * 1000};

std::vector<std::string_view> splitArguments(std::string_view bytes) {
    std::vector<std::string_view> args;
    while (args.size() < kMaxArguments) {
        const auto end = bytes.find('\0');
        args.push_back(bytes.substr(0, end));
        if (end == std::string_view::npos) break;
        bytes.remove_prefix(end + 1);
    }
    return args;
}

std::string seconds(std::chrono::milliseconds timeout) {
    const auto ms = timeout.count();
    std::string fraction = std::to_string(ms % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(ms / 1000) + "." + fraction;
}

bool isDeviceFile(const std::string& name) {
    return name == "setting" || name == "playlist";
}

void checkConsistent(const GlobalOptions& o, const Job& job) {
    const std::string name(tidewell::cli::commandName(tidewell::cli::commandOf(job)));
    TIDEWELL_FUZZ_CHECK(!name.empty(), "no command");
    TIDEWELL_FUZZ_CHECK(o.speed > 0, "speed 0");
    TIDEWELL_FUZZ_CHECK(o.timeout.count() > 0 && o.timeout <= kLongestTimeout,
                        "timeout " + std::to_string(o.timeout.count()) + " ms");
    TIDEWELL_FUZZ_CHECK(!(o.port.comNumber && !o.port.path.empty()),
                        "both a COM number and a path");
    if (o.port.comNumber) {
        TIDEWELL_FUZZ_CHECK(*o.port.comNumber >= 1 && *o.port.comNumber <= 16, "COM number range");
    }
    TIDEWELL_FUZZ_CHECK(!(o.allPorts && !o.ports.empty()), "all beside named ports");
    for (const auto& port : o.ports) {
        TIDEWELL_FUZZ_CHECK(
            port.comNumber || (!port.path.empty() && port.path.find(',') == std::string::npos),
            "a port neither a COM number nor a path without commas");
    }
    if (std::holds_alternative<tidewell::cli::TerminalJob>(job)) {
        TIDEWELL_FUZZ_CHECK(!o.allPorts && o.ports.size() <= 1 && !o.json && o.jobs == 0,
                            "terminal on several ports");
    }
    if (std::holds_alternative<tidewell::cli::PortsJob>(job) ||
        std::holds_alternative<VerifyJob>(job)) {
        TIDEWELL_FUZZ_CHECK(!o.json && o.jobs == 0, "--json or --jobs kept for " + name);
    }
    if (std::holds_alternative<TraceJob>(job)) {
        TIDEWELL_FUZZ_CHECK(o.jobs == 0 && o.traceFile.empty(), "--jobs or --trace kept for trace");
    }
    if (const auto* update = std::get_if<UpdateJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(!update->package.empty(), "update without its package");
    } else if (const auto* backup = std::get_if<BackupJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(!backup->folder.empty(), "empty backup folder");
        TIDEWELL_FUZZ_CHECK(isDeviceFile(backup->deviceFile),
                            "backup of \"" + backup->deviceFile + "\"");
    } else if (const auto* restore = std::get_if<RestoreJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(
            !restore->backup.empty() && isDeviceFile(restore->deviceFile),
            "restore of \"" + restore->deviceFile + "\" from \"" + restore->backup + "\"");
    } else if (const auto* send = std::get_if<SendJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(!send->line.empty(), "send without a line");
    } else if (const auto* verify = std::get_if<VerifyJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(!verify->files.empty(), "verify without files");
        for (const auto& file : verify->files)
            TIDEWELL_FUZZ_CHECK(!file.empty(), "empty file name");
    } else if (const auto* trace = std::get_if<TraceJob>(&job)) {
        TIDEWELL_FUZZ_CHECK(!trace->files.empty(), "trace without files");
        for (const auto& file : trace->files) TIDEWELL_FUZZ_CHECK(!file.empty(), "empty file name");
    }
}

// The options and the job as one canonical command line.
std::vector<std::string> writeOut(const GlobalOptions& o, const Job& job) {
    std::vector<std::string> args{"--speed", std::to_string(o.speed), "--timeout",
                                  seconds(o.timeout)};
    for (const auto& port : o.ports) {
        if (port.comNumber) args.push_back("--port=COM" + std::to_string(*port.comNumber));
        if (!port.path.empty()) args.push_back("--port=" + port.path);
    }
    if (o.allPorts) args.emplace_back("--port=all");
    if (o.jobs != 0) args.push_back("--jobs=" + std::to_string(o.jobs));
    if (o.json) args.emplace_back("--json");
    if (!o.logFile.empty()) args.push_back("--log=" + o.logFile);
    if (o.quiet) args.emplace_back("-q");
    const auto sending = [&](bool force, std::optional<bool> verify) {
        if (force) args.emplace_back("--force");
        if (verify) args.emplace_back(*verify ? "--verify" : "--no-verify");
    };
    std::vector<std::string> operands;
    if (const auto* update = std::get_if<UpdateJob>(&job)) {
        sending(update->force, update->verify);
        if (!update->backupFirstDir.empty()) {
            args.push_back("--backup-first=" + update->backupFirstDir);
        }
        operands = {update->package};
    } else if (const auto* backup = std::get_if<BackupJob>(&job)) {
        args.push_back("--dir=" + backup->folder);
        operands = {backup->deviceFile};
    } else if (const auto* restore = std::get_if<RestoreJob>(&job)) {
        sending(restore->force, restore->verify);
        operands = {restore->deviceFile, restore->backup};
    } else if (const auto* send = std::get_if<SendJob>(&job)) {
        operands = {send->line};
    } else if (const auto* verify = std::get_if<VerifyJob>(&job)) {
        operands = verify->files;
    } else if (const auto* trace = std::get_if<TraceJob>(&job)) {
        operands = trace->files;
    }
    args.emplace_back("--");
    args.emplace_back(tidewell::cli::commandName(tidewell::cli::commandOf(job)));
    args.insert(args.end(), operands.begin(), operands.end());
    return args;
}

bool sameOptions(const GlobalOptions& a, const GlobalOptions& b) {
    if (a.ports.size() != b.ports.size()) return false;
    for (std::size_t i = 0; i < a.ports.size(); ++i) {
        if (a.ports[i].comNumber != b.ports[i].comNumber || a.ports[i].path != b.ports[i].path) {
            return false;
        }
    }
    return a.allPorts == b.allPorts && a.jobs == b.jobs && a.json == b.json &&
           a.port.comNumber == b.port.comNumber && a.port.path == b.port.path &&
           a.speed == b.speed && a.logFile == b.logFile && a.quiet == b.quiet &&
           a.timeout == b.timeout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> args = splitArguments(bytes);
    const ParseResult result = tidewell::cli::parseArguments(args);

    for (const auto arg : args) {
        if (const auto number = tidewell::comPortNumber(arg)) {
            TIDEWELL_FUZZ_CHECK(
                *number >= 1 && *number <= 16 &&
                    tidewell::comPortNumber("COM" + std::to_string(*number)) == number,
                "COM name \"" + std::string(arg) + "\"");
        }
    }
    if (!result.ok() || result.helpRequested || result.versionRequested) return 0;
    checkConsistent(result.options, result.job);

    const std::vector<std::string> again = writeOut(result.options, result.job);
    const std::vector<std::string_view> againViews(again.begin(), again.end());
    const ParseResult reparsed = tidewell::cli::parseArguments(againViews);
    TIDEWELL_FUZZ_CHECK(reparsed.ok(), "written-out options refused: " + reparsed.error);
    TIDEWELL_FUZZ_CHECK(sameOptions(reparsed.options, result.options) && reparsed.job == result.job,
                        "written-out options parse differently (timeout " +
                            std::to_string(result.options.timeout.count()) + " ms, now " +
                            std::to_string(reparsed.options.timeout.count()) + " ms)");
    return 0;
}
