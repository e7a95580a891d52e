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
#include "tidewell/engine/transfer_watch.h"

namespace tidewell::cli {

// What the messages name.
struct TransferNames {
    std::string port;        // "COM3 (/dev/ttyUSB0)"
    std::string deviceFile;  // "setting"
    std::string commandLine;
    std::string localPath;
    std::string lostLine;   // the worker's last "Error" line, for a lost device
    bool readBack = false;  // a download that checks a file just sent
};

struct TransferVerdict {
    ExitStatus status = ExitStatus::ok;
    std::string message;  // empty for ok: the caller tells what was done
};

TransferVerdict judgeTransfer(const TransferRun& seen, const TransferNames& names);

// "2 s", "0.5 s"; below a tenth of a second "20 ms", so that no wait reads as none.
std::string seconds(std::chrono::milliseconds duration);
// What the device sent while a wait for `awaited` ran out, for its message.
std::string sentInstead(const DeviceInput& came, std::string_view awaited);
std::string inQuotes(const std::string& text);

}  // namespace tidewell::cli
