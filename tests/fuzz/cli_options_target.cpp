// Fuzz target: tidewell-cli's command line. The input is split at NUL bytes into arguments
// (a real argument vector cannot hold a NUL).
//
// Invariants: a command line is either an error with a message or a consistent set of options
// (a known command with exactly the operands it takes, a port that is either a COM number from
// 1 to 16 or a path, a positive speed, a timeout above 0 and at most a week, --dir only with
// backup, --verify or --no-verify only with update or restore, --backup-first only with
// update); and the options, written back out as a command line, parse to the same options.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "tidewell/cli/options.h"

namespace {

using tidewell::cli::Command;
using tidewell::cli::Options;
using tidewell::cli::ParseResult;

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

void checkConsistent(const Options& o) {
    const std::string name(tidewell::cli::commandName(o.command));
    TIDEWELL_FUZZ_CHECK(o.command != Command::none && !name.empty(), "no command");
    TIDEWELL_FUZZ_CHECK(o.speed > 0, "speed 0");
    TIDEWELL_FUZZ_CHECK(o.timeout.count() > 0 && o.timeout <= kLongestTimeout,
                        "timeout " + std::to_string(o.timeout.count()) + " ms");
    TIDEWELL_FUZZ_CHECK(!(o.port.comNumber && !o.port.path.empty()),
                        "both a COM number and a path");
    if (o.port.comNumber) {
        TIDEWELL_FUZZ_CHECK(*o.port.comNumber >= 1 && *o.port.comNumber <= 16, "COM number range");
    }
    TIDEWELL_FUZZ_CHECK(!o.backupDir.empty(), "empty backup folder");
    TIDEWELL_FUZZ_CHECK(o.command == Command::backup || o.backupDir == ".",
                        "--dir kept for " + name);
    TIDEWELL_FUZZ_CHECK(!o.verify || o.command == Command::update || o.command == Command::restore,
                        "--verify kept for " + name);
    TIDEWELL_FUZZ_CHECK(o.backupFirstDir.empty() || o.command == Command::update,
                        "--backup-first kept for " + name);
    TIDEWELL_FUZZ_CHECK(o.command == Command::verify || o.files.empty(), "files kept for " + name);
    switch (o.command) {
        case Command::update:
            TIDEWELL_FUZZ_CHECK(!o.localFile.empty() && o.deviceFile == "flashimage",
                                "update without its package or device file");
            break;
        case Command::backup:
            TIDEWELL_FUZZ_CHECK(o.localFile.empty() && isDeviceFile(o.deviceFile),
                                "backup of \"" + o.deviceFile + "\"");
            break;
        case Command::restore:
            TIDEWELL_FUZZ_CHECK(!o.localFile.empty() && isDeviceFile(o.deviceFile),
                                "restore of \"" + o.deviceFile + "\" from \"" + o.localFile + "\"");
            break;
        case Command::send:
            TIDEWELL_FUZZ_CHECK(!o.line.empty(), "send without a line");
            break;
        case Command::verify:
            TIDEWELL_FUZZ_CHECK(!o.files.empty() && o.localFile.empty() && o.deviceFile.empty(),
                                "verify without files, or with a device file");
            for (const auto& file : o.files) TIDEWELL_FUZZ_CHECK(!file.empty(), "empty file name");
            break;
        case Command::ports:
        case Command::detect:
        case Command::terminal:
        case Command::none:
            TIDEWELL_FUZZ_CHECK(o.localFile.empty() && o.deviceFile.empty() && o.line.empty(),
                                name + " kept an operand");
            break;
    }
    if (o.command != Command::send) TIDEWELL_FUZZ_CHECK(o.line.empty(), "a line kept for " + name);
}

// The options as one canonical command line.
std::vector<std::string> writeOut(const Options& o) {
    std::vector<std::string> args{"--speed", std::to_string(o.speed), "--timeout",
                                  seconds(o.timeout)};
    if (o.port.comNumber) args.push_back("--port=COM" + std::to_string(*o.port.comNumber));
    if (!o.port.path.empty()) args.push_back("--port=" + o.port.path);
    if (!o.logFile.empty()) args.push_back("--log=" + o.logFile);
    if (o.quiet) args.emplace_back("-q");
    if (o.command == Command::backup) args.push_back("--dir=" + o.backupDir);
    if (o.force) args.emplace_back("--force");
    if (o.verify) args.emplace_back(*o.verify ? "--verify" : "--no-verify");
    if (!o.backupFirstDir.empty()) args.push_back("--backup-first=" + o.backupFirstDir);
    args.emplace_back("--");
    args.emplace_back(tidewell::cli::commandName(o.command));
    switch (o.command) {
        case Command::update:
            args.push_back(o.localFile);
            break;
        case Command::backup:
            args.push_back(o.deviceFile);
            break;
        case Command::restore:
            args.push_back(o.deviceFile);
            args.push_back(o.localFile);
            break;
        case Command::send:
            args.push_back(o.line);
            break;
        case Command::verify:
            args.insert(args.end(), o.files.begin(), o.files.end());
            break;
        default:
            break;
    }
    return args;
}

bool sameOptions(const Options& a, const Options& b) {
    return a.command == b.command && a.port.comNumber == b.port.comNumber &&
           a.port.path == b.port.path && a.speed == b.speed && a.logFile == b.logFile &&
           a.quiet == b.quiet && a.timeout == b.timeout && a.localFile == b.localFile &&
           a.deviceFile == b.deviceFile && a.backupDir == b.backupDir && a.line == b.line &&
           a.force == b.force && a.verify == b.verify && a.backupFirstDir == b.backupFirstDir &&
           a.files == b.files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> args = splitArguments(bytes);
    const ParseResult result = tidewell::cli::parseArguments(args);

    for (const auto arg : args) {
        if (const auto number = tidewell::cli::parseComName(arg)) {
            TIDEWELL_FUZZ_CHECK(
                *number >= 1 && *number <= 16 &&
                    tidewell::cli::parseComName("COM" + std::to_string(*number)) == number,
                "COM name \"" + std::string(arg) + "\"");
        }
    }
    if (!result.ok() || result.helpRequested || result.versionRequested) return 0;
    checkConsistent(result.options);

    const std::vector<std::string> again = writeOut(result.options);
    const std::vector<std::string_view> againViews(again.begin(), again.end());
    const ParseResult reparsed = tidewell::cli::parseArguments(againViews);
    TIDEWELL_FUZZ_CHECK(reparsed.ok(), "written-out options refused: " + reparsed.error);
    TIDEWELL_FUZZ_CHECK(sameOptions(reparsed.options, result.options),
                        "written-out options parse differently (timeout " +
                            std::to_string(result.options.timeout.count()) + " ms, now " +
                            std::to_string(reparsed.options.timeout.count()) + " ms)");
    return 0;
}
