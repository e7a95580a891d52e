// How a transfer ended, told as tidewell-cli tells it: one exit status and one message
// from what the engine's outcome and the run's own waits showed.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tidewell/cli/exit_status.h"
#include "tidewell/engine/session_outcome.h"

namespace tidewell::cli {

struct TransferObservation {
    bool receiving = false;              // a download (backup): the packets are checked here
    bool readBack = false;               // a download that checks a file just sent
    std::optional<std::int32_t> result;  // the WorkerResult posted, if any
    bool deviceLost = false;             // the port reported the device gone
    int localFileError = 0;              // errno of the local file's failure, 0 when none
    bool interrupted = false;            // the user stopped it
    bool stalled = false;                // no frame, no awaited line in time; the run cancelled it
    bool errorReply = false;             // a line holding ":ERROR:" arrived
    bool errorBeforeAccept = false;      // ... before any ":OK:"
    std::string errorLine;               // the first such line
    int okReplies = 0;                   // lines holding ":OK:" (command line, final reply)
    bool progressed = false;             // at least one packet went through
    bool blockEnded = false;             // the block transfer had ended when it stalled
    // The device sent a frame of the block transfer after the accept: a packet (begun
    // or whole) to a download, an answer to an upload.
    bool deviceStarted = false;
    // Bytes and whole packets (their check aside) from the device since it accepted the
    // transfer line or since the last packet that went through, whichever came later.
    std::uint64_t bytesSinceProgress = 0;
    std::uint64_t packetsSinceProgress = 0;
    DeviceInput quiet;  // what came between the last frame and a stall
    // The waits that ran out: for a line, and between the frames of a running transfer.
    std::chrono::milliseconds silence{};
    std::chrono::milliseconds frameSilence{};
};

// What the messages name.
struct TransferNames {
    std::string port;        // "COM3 (/dev/ttyUSB0)"
    std::string deviceFile;  // "setting"
    std::string commandLine;
    std::string localPath;
    std::string lostLine;  // the worker's last "Error" line, for a lost device
};

struct TransferVerdict {
    ExitStatus status = ExitStatus::ok;
    std::string message;  // empty for ok: the caller tells what was done
};

TransferVerdict judgeTransfer(const TransferObservation& seen, const TransferNames& names);

// "2 s", "0.5 s"; below a tenth of a second "20 ms", so that no wait reads as none.
std::string seconds(std::chrono::milliseconds duration);
// What the device sent while a wait for `awaited` ran out, for its message.
std::string sentInstead(const DeviceInput& came, std::string_view awaited);
std::string inQuotes(const std::string& text);

}  // namespace tidewell::cli
