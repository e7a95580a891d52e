#include "trace_report.h"

#include <cerrno>
#include <cmath>
#include <nlohmann/json.hpp>

#include "tidewell/engine/protocol.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"
#include "tidewell/traceread/trace_summary.h"

namespace tidewell::cli {

namespace {

using Json = nlohmann::ordered_json;
using traceread::TransferEnd;

constexpr traceread::TransferWords kTransferWords{protocol::kUploadCommand,
                                                  protocol::kDownloadCommand};

// The whole file, or why not.
bool readWhole(const std::string& path, std::string& text, std::string& why) {
    fsutil::RegularFile file = fsutil::openRegularFile(path);
    if (!file.ok()) {
        why = file.error != 0 ? fsutil::reasonText(file.error) : "not a regular file";
        return false;
    }
    if (const int error = fsutil::readRest(file, text); error != 0) {
        why = fsutil::reasonText(error);
        return false;
    }
    return true;
}

double rounded(double value, double scale) {
    return std::round(value * scale) / scale;
}

Json optional(const std::optional<double>& value, double scale) {
    return value ? Json(rounded(*value, scale)) : Json(nullptr);
}

std::string_view endWord(TransferEnd end) {
    switch (end) {
        case TransferEnd::result:
            return "result";
        case TransferEnd::finished:
            return "finished";
        case TransferEnd::nextCommand:
            return "next command";
        case TransferEnd::traceLimit:
            return "trace limit";
        case TransferEnd::cutShort:
            break;
    }
    return "cut short";
}

std::string transferJson(const std::string& file, const traceread::Command& command) {
    const traceread::Transfer& t = *command.transfer;
    Json json;
    json["type"] = "transfer";
    json["file"] = file;
    json["line"] = command.line;
    json["command"] = command.text;
    json["direction"] = t.toDevice ? "to device" : "from device";
    json["bytes"] = t.bytes;
    json["packets"] = t.packets;
    json["retries"] = t.retries;
    json["failed_checks"] = t.failedChecks;
    json["longest_silence_ms"] = rounded(t.longestSilenceMs, 1000);
    json["start_ms"] = rounded(command.milliseconds, 1000);
    json["duration_ms"] = rounded(t.durationMs, 1000);
    json["blocks_ms"] = rounded(t.blocksMs, 1000);
    json["bytes_per_second"] = optional(t.bytesPerSecond, 10);
    json["line_share"] = optional(t.lineShare, 10000);
    json["result"] = t.result.empty() ? Json(nullptr) : Json(t.result);
    json["end"] = endWord(t.end);
    if (const auto& a = t.firstAnomaly) {
        json["first_anomaly"] = {{"ms", rounded(a->milliseconds, 1000)},
                                 {"line", a->line},
                                 {"text", a->text},
                                 {"before", a->before.empty() ? Json(nullptr) : Json(a->before)},
                                 {"after", a->after.empty() ? Json(nullptr) : Json(a->after)}};
    } else {
        json["first_anomaly"] = nullptr;
    }
    // Device text need not be UTF-8.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

ExitStatus reportTraces(const std::vector<std::string>& files, bool json, std::ostream& out,
                        const std::function<void(ExitStatus, const std::string&)>& fail) {
    ExitStatus first = ExitStatus::ok;
    const auto failed = [&](ExitStatus status, const std::string& message) {
        fail(status, message);
        if (first == ExitStatus::ok) first = status;
    };
    for (const std::string& file : files) {
        std::string text;
        std::string why;
        if (!readWhole(file, text, why)) {
            failed(ExitStatus::localFile, "cannot read the trace file " + file + ": " + why);
            continue;
        }
        const traceread::TraceSummary summary =
            traceread::summarize(tracefmt::parseTrace(text), kTransferWords);
        const auto problem = summary.problem();
        // Not a trace at all: nothing to sum up.
        if (!problem || problem->line > tracefmt::kHeadingLines) {
            if (!json) out << traceread::describe(summary, file);
            for (const auto& command : summary.commands) {
                if (json && command.transfer) out << transferJson(file, command) << '\n';
            }
            out << std::flush;
        }
        if (problem) failed(ExitStatus::localFile, file + ": " + problem->text());
    }
    return first;
}

}  // namespace tidewell::cli
