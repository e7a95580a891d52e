// Exit statuses of tidewell-cli, one per kind of failure.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tidewell::cli {

enum class ExitStatus : int {
    ok = 0,
    transferFailed = 1,  // the transfer failed in a way none of the others names
    usage = 2,
    portError = 3,    // the port cannot be opened, or the device was lost
    noDevice = 4,     // no ":LOGIN:" prompt within the timeout
    deviceError = 5,  // the device replied ":ERROR:"
    localFile = 6,    // a local file cannot be opened, read or written
    tooManyRetries = 7,
    deviceCancel = 8,
    noStart = 9,          // the device accepted the transfer but never started it
    timeout = 10,         // no reply, or a transfer went silent
    backupMismatch = 11,  // a backup does not match its record, or has no valid one
    verifyFailed = 12,    // the file read back differs from what was sent
    notVerified = 13,     // sent, but the device refused to send it back
    // Several ports: at least one failed (each port's own status is in the summary).
    someDevicesFailed = 14,
    interrupted = 130,  // SIGINT, SIGTERM or SIGHUP
};

constexpr int exitCode(ExitStatus status) {
    return static_cast<int>(status);
}

struct ExitStatusInfo {
    ExitStatus status;
    std::string_view meaning;
};

// Every status with its meaning, in ascending order (for --help and the manual).
std::span<const ExitStatusInfo> exitStatusTable();

}  // namespace tidewell::cli
