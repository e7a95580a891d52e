#include "port_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tidewell/cli/progress.h"

namespace tidewell::cli {

namespace {

using Json = nlohmann::ordered_json;

// Device text need not be UTF-8: such bytes become U+FFFD rather than failing the line.
std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json orNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string resultText(ExitStatus status) {
    if (status == ExitStatus::ok) return "ok";
    const std::string word = status == ExitStatus::interrupted ? "interrupted" : "failed";
    return word + " (" + std::to_string(exitCode(status)) + ")";
}

std::size_t succeeded(const std::vector<PortOutcome>& outcomes) {
    return static_cast<std::size_t>(
        std::count_if(outcomes.begin(), outcomes.end(),
                      [](const PortOutcome& o) { return o.status == ExitStatus::ok; }));
}

}  // namespace

std::string portJson(const PortOutcome& o) {
    Json json;
    json["type"] = "port";
    json["port"] = o.port;
    json["device_path"] = orNull(o.devicePath);
    json["command"] = std::string(commandName(o.command));
    json["file"] = orNull(o.file);
    json["bytes"] = o.bytes ? Json(*o.bytes) : Json(nullptr);
    json["sha256"] = orNull(o.sha256);
    json["seconds"] = std::round(o.seconds * 1000.0) / 1000.0;
    json["exit_status"] = exitCode(o.status);
    json["message"] = o.message;
    json["verified"] = o.verified ? Json(*o.verified) : Json(nullptr);
    if (o.command == Command::send) json["reply"] = o.reply;
    return dumped(json);
}

std::string summaryJson(const std::vector<PortOutcome>& outcomes, Command command, double seconds,
                        ExitStatus status) {
    const std::size_t ok = succeeded(outcomes);
    Json json;
    json["type"] = "summary";
    json["command"] = std::string(commandName(command));
    json["ports"] = outcomes.size();
    json["succeeded"] = ok;
    json["failed"] = outcomes.size() - ok;
    Json failedPorts = Json::array();
    for (const auto& o : outcomes) {
        if (o.status != ExitStatus::ok) failedPorts.push_back(o.port);
    }
    json["failed_ports"] = failedPorts;
    json["seconds"] = std::round(seconds * 1000.0) / 1000.0;
    json["exit_status"] = exitCode(status);
    return dumped(json);
}

std::string summaryTable(const std::vector<PortOutcome>& outcomes) {
    std::vector<std::vector<std::string>> rows{
        {"PORT", "DEVICE", "RESULT", "BYTES", "TIME", "RATE", "REASON"}};
    for (const auto& o : outcomes) {
        const bool rated = o.bytes && o.transferSeconds && *o.transferSeconds > 0;
        rows.push_back(
            {o.port, o.devicePath.empty() ? "-" : o.devicePath, resultText(o.status),
             o.bytes ? formatSize(*o.bytes) : "-", secondsText(o.seconds),
             rated ? formatRate(static_cast<double>(*o.bytes) / *o.transferSeconds) : "-",
             o.status == ExitStatus::ok ? "" : o.message});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            std::string cell = row[c];
            if (c + 1 < row.size()) cell.resize(widths[c], ' ');
            line += (c == 0 ? "" : "  ") + cell;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + '\n';
    }
    const std::size_t ok = succeeded(outcomes);
    text += std::to_string(outcomes.size()) + (outcomes.size() == 1 ? " port: " : " ports: ") +
            std::to_string(ok) + " succeeded, " + std::to_string(outcomes.size() - ok) +
            " failed\n";
    return text;
}

ExitStatus overallStatus(const std::vector<PortOutcome>& outcomes, bool interrupted) {
    if (interrupted) return ExitStatus::interrupted;
    if (outcomes.size() == 1) return outcomes.front().status;
    const bool allOk = std::all_of(outcomes.begin(), outcomes.end(),
                                   [](const PortOutcome& o) { return o.status == ExitStatus::ok; });
    return allOk ? ExitStatus::ok : ExitStatus::someDevicesFailed;
}

}  // namespace tidewell::cli
