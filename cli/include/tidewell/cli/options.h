// Command line of tidewell-cli: global options, one command and its operands.
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
#include <vector>

namespace tidewell::cli {

inline constexpr std::uint32_t kDefaultSpeed = 115200;
inline constexpr std::chrono::milliseconds kDefaultTimeout{60000};
inline constexpr std::string_view kProgramName = "tidewell-cli";

enum class Command { none, ports, detect, update, backup, restore, send, terminal, verify };

// Where the link goes: a COM number (resolved like the wizard does) or a device path.
struct PortChoice {
    std::optional<std::uint8_t> comNumber;
    std::string path;

    bool saved() const { return !comNumber && path.empty(); }  // no --port given
};

struct Options {
    Command command = Command::none;
    PortChoice port;
    std::uint32_t speed = kDefaultSpeed;
    std::string logFile;  // empty: no --log
    bool quiet = false;
    // Detection limit, and the longest silence tolerated in any later wait.
    std::chrono::milliseconds timeout = kDefaultTimeout;
    // update, restore: the file sent; backup: empty.
    std::string localFile;
    // update, restore: send an empty file too; restore: a backup that does not match
    // its record too.
    bool force = false;
    // update, restore: --verify (true) or --no-verify (false); see readsBack().
    std::optional<bool> verify;
    // update: back up "setting" and "playlist" into this folder first (empty: no).
    std::string backupFirstDir;
    // verify: the backups to check.
    std::vector<std::string> files;
    // The file on the device: "flashimage", "setting" or "playlist".
    std::string deviceFile;
    // backup: folder of the new backup file.
    std::string backupDir = ".";
    // send: the command line (no CR or LF in it).
    std::string line;

    // Whether the device file is read back and compared after sending: restores by
    // default, updates on --verify.
    bool readsBack() const {
        return command == Command::restore ? verify.value_or(true)
                                           : command == Command::update && verify.value_or(false);
    }
};

struct ParseResult {
    Options options;
    bool helpRequested = false;
    bool versionRequested = false;
    std::string error;  // empty when the command line is valid

    bool ok() const { return error.empty(); }
};

// Parses the arguments that follow the program name.
ParseResult parseArguments(std::span<const std::string_view> args);

// The --help text.
std::string usageText();

// "COM3" -> 3 (any case, 1..16); nothing for anything else.
std::optional<std::uint8_t> parseComName(std::string_view text);

std::string_view commandName(Command command);

}  // namespace tidewell::cli
