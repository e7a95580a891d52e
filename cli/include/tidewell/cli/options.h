// Command line of tidewell-cli: the global options, and the job of its one command.
//
// Options may stand before or after the command; "--" ends the options, so a
// line to send may start with '-'. Both "--name value" and "--name=value" work.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tidewell::cli {

inline constexpr std::uint32_t kDefaultSpeed = 115200;
inline constexpr std::chrono::milliseconds kDefaultTimeout{60000};
inline constexpr std::string_view kDefaultBackupFolder = ".";
inline constexpr std::string_view kProgramName = "tidewell-cli";

enum class Command { none, ports, detect, update, backup, restore, send, terminal, verify, trace };

// Where the link goes: a COM number (resolved like the wizard does) or a device path.
struct PortChoice {
    std::optional<std::uint8_t> comNumber;
    std::string path;

    bool saved() const { return !comNumber && path.empty(); }  // no --port given
};

// What every command takes.
struct GlobalOptions {
    // The port of a one-port run: the first one named.
    PortChoice port;
    // Every port named, in order ("--port COM1,COM2 --port /dev/ttyUSB7"); empty: none.
    std::vector<PortChoice> ports;
    // --port all: every port that `ports` shows as present.
    bool allPorts = false;
    // --jobs: how many ports run at once; 0: all of them.
    unsigned jobs = 0;
    // --json: one JSON object per port and a summary on standard output.
    bool json = false;
    std::uint32_t speed = kDefaultSpeed;
    std::string logFile;  // empty: no --log
    // --trace: the port's protocol trace (several ports: one file each beside it); empty: none.
    std::string traceFile;
    bool traceAllBytes = false;  // --trace-bytes all
    bool quiet = false;
    // Detection limit, and the longest silence tolerated in any later wait.
    std::chrono::milliseconds timeout = kDefaultTimeout;
};

// One job per command, holding what that command takes.
struct PortsJob {
    static constexpr Command command = Command::ports;
    bool operator==(const PortsJob&) const = default;
};

struct DetectJob {
    static constexpr Command command = Command::detect;
    bool operator==(const DetectJob&) const = default;
};

struct UpdateJob {
    static constexpr Command command = Command::update;
    static constexpr std::string_view kDeviceFile = "flashimage";
    std::string package;
    bool force = false;          // send an empty package too
    std::optional<bool> verify;  // --verify (true) or --no-verify (false)
    // Back up "setting" and "playlist" into this folder first (empty: no).
    std::string backupFirstDir;

    // Whether "flashimage" is read back and compared after sending: on --verify only.
    bool readsBack() const { return verify.value_or(false); }
    bool operator==(const UpdateJob&) const = default;
};

struct BackupJob {
    static constexpr Command command = Command::backup;
    std::string deviceFile;                    // "setting" or "playlist"
    std::string folder{kDefaultBackupFolder};  // of the new backup file
    bool operator==(const BackupJob&) const = default;
};

struct RestoreJob {
    static constexpr Command command = Command::restore;
    std::string deviceFile;  // "setting" or "playlist"
    std::string backup;      // the file sent
    // Send an empty backup, or one that does not match its record, too.
    bool force = false;
    std::optional<bool> verify;  // --verify (true) or --no-verify (false)

    // Whether the device file is read back and compared after sending: unless --no-verify.
    bool readsBack() const { return verify.value_or(true); }
    bool operator==(const RestoreJob&) const = default;
};

struct SendJob {
    static constexpr Command command = Command::send;
    std::string line;  // no CR or LF in it
    bool operator==(const SendJob&) const = default;
};

struct TerminalJob {
    static constexpr Command command = Command::terminal;
    bool operator==(const TerminalJob&) const = default;
};

struct VerifyJob {
    static constexpr Command command = Command::verify;
    std::vector<std::string> files;  // the backups to check
    bool operator==(const VerifyJob&) const = default;
};

struct TraceJob {
    static constexpr Command command = Command::trace;
    std::vector<std::string> files;  // protocol traces to sum up
    bool operator==(const TraceJob&) const = default;
};

using Job = std::variant<PortsJob, DetectJob, UpdateJob, BackupJob, RestoreJob, SendJob,
                         TerminalJob, VerifyJob, TraceJob>;

Command commandOf(const Job& job);

// Where a job's backups go: backup's folder, update's --backup-first; nothing when it
// makes none.
const std::string* backupFolder(const Job& job);
std::string* backupFolder(Job& job);

// update, restore: what goes to the device, and how.
struct FileToSend {
    std::string localFile;
    std::string deviceFile;
    bool force = false;
    bool readsBack = false;  // the device file is read back and compared after sending
};
std::optional<FileToSend> fileToSend(const Job& job);

struct ParseResult {
    GlobalOptions options;
    Job job;
    bool helpRequested = false;
    bool versionRequested = false;
    std::string error;  // empty when the command line is valid

    bool ok() const { return error.empty(); }
};

// Parses the arguments that follow the program name.
ParseResult parseArguments(std::span<const std::string_view> args);

// The --help text.
std::string usageText();

std::string_view commandName(Command command);

// Several ports at once (more than one named, --port all, or --json): each port runs
// beside the others, its output prefixed with its name, a summary at the end.
bool onSeveralPorts(const GlobalOptions& options, const Job& job);

}  // namespace tidewell::cli
