// What each port of a run on several ports did, and the run's end: the summary table
// for people and the JSON objects for programs (the fields are listed in the README).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"

namespace tidewell::cli {

struct PortOutcome {
    std::string port;        // "COM3", or the path given
    std::string devicePath;  // empty when the port stands for no device
    Command command = Command::none;
    std::string file;                       // the local file sent or written; empty: none
    std::optional<std::uint64_t> bytes;     // bytes transferred, when a transfer succeeded
    std::optional<double> transferSeconds;  // how long that transfer took
    std::string sha256;                     // of those bytes; empty: none
    double seconds = 0;                     // the whole run of the port
    ExitStatus status = ExitStatus::ok;
    std::string message;  // the failure in plain words, or what was done
    // update --verify, restore: whether the device's file was read back and matched;
    // none when no read-back was asked for.
    std::optional<bool> verified;
    std::vector<std::string> reply;  // send: the reply lines
};

// One line: the port's JSON object.
std::string portJson(const PortOutcome& outcome);
// One line: the run's summary object.
std::string summaryJson(const std::vector<PortOutcome>& outcomes, Command command, double seconds,
                        ExitStatus status);
// One row per port (port, device, result, bytes, time, rate, reason) under a header,
// then a line that counts them.
std::string summaryTable(const std::vector<PortOutcome>& outcomes);

// The run's status: 130 when interrupted; a single port's own status; otherwise 0 when
// every port succeeded, else "some devices failed".
ExitStatus overallStatus(const std::vector<PortOutcome>& outcomes, bool interrupted);

}  // namespace tidewell::cli
