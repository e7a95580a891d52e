// Exit statuses of tidewell-cli, one per kind of failure, and how a transfer's
// outcome maps onto them.
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

// What the worker's notifications and the line showed of one transfer session.
struct TransferObservation {
    bool receiving = false;              // a download (backup): the packets are checked here
    std::optional<std::int32_t> result;  // the WorkerResult posted, if any
    bool deviceLost = false;             // the port reported the device gone
    int localFileError = 0;              // errno of the local file's failure, 0 when none
    bool interrupted = false;            // the user stopped it
    bool stalled = false;                // no packet, no awaited line in time; the CLI cancelled it
    bool errorReply = false;             // a line holding ":ERROR:" arrived
    int okReplies = 0;                   // lines holding ":OK:" (command line, final reply)
    bool progressed = false;             // at least one packet went through
    // The device sent a frame of the block transfer after the accept: a packet (begun
    // or whole) to a download, an answer to an upload.
    bool deviceStarted = false;
    // Bytes and whole packets (their check aside) from the device since it accepted the
    // transfer line or since the last packet that went through, whichever came later.
    std::uint64_t bytesSinceProgress = 0;
    std::uint64_t packetsSinceProgress = 0;
};

// A download in which the device went on sending packets (two at least) while none
// passed its check.
bool packetsKeptFailing(const TransferObservation& seen);

ExitStatus classifyTransfer(const TransferObservation& seen);

}  // namespace tidewell::cli
