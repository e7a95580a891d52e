#include "port_plan.h"

#include <algorithm>
#include <filesystem>

namespace tidewell::cli {

std::string backupFolderName(const std::string& devicePath, std::optional<std::uint8_t> comNumber,
                             const DeviceRoots& roots) {
    if (!devicePath.empty()) {
        if (const auto link = byIdLink(devicePath, roots); !link.empty())
            return link.filename().string();
    }
    if (comNumber) return "COM" + std::to_string(*comNumber);
    std::string name = devicePath;
    name.erase(0, name.find_first_not_of('/'));
    std::replace(name.begin(), name.end(), '/', '_');
    return name.empty() || name == "." || name == ".." ? "port" : name;
}

std::string traceFileFor(const std::string& file, const std::string& portFolder) {
    const std::filesystem::path path(file);
    std::filesystem::path name = path.stem();
    name += "-" + portFolder;
    name += path.extension();
    return (path.parent_path() / name).string();
}

std::optional<std::vector<PortPlan>> planPorts(const GlobalOptions& options, const Job& job,
                                               ComPortResolver& resolver, const DeviceRoots& roots,
                                               std::string* why, ExitStatus* status) {
    *status = ExitStatus::usage;
    std::vector<PortChoice> choices = options.ports;
    if (options.allPorts) {
        for (const auto& entry : resolver.entries()) {
            if (entry.present) choices.push_back(PortChoice{entry.number, {}});
        }
        if (choices.empty()) {
            *why = "--port all: no port is present (see \"tidewell-cli ports\")";
            *status = ExitStatus::portError;
            return std::nullopt;
        }
    }
    std::vector<PortPlan> plans;
    for (const auto& choice : choices) {
        PortPlan plan;
        plan.choice = choice;
        std::optional<std::uint8_t> number = choice.comNumber;
        if (number) {
            plan.label = "COM" + std::to_string(*number);
            plan.devicePath = resolver.resolve(*number);
        } else {
            plan.label = choice.path;
            plan.devicePath = choice.path;
            number = resolver.numberOf(choice.path);
        }
        plan.folder = backupFolderName(plan.devicePath, number, roots);
        for (const auto& other : plans) {
            if (!plan.devicePath.empty() && sameDeviceFile(other.devicePath, plan.devicePath)) {
                *why = "--port: " + other.label + " and " + plan.label + " are the same device (" +
                       plan.devicePath + ")";
                return std::nullopt;
            }
            if (other.folder == plan.folder && (backupFolder(job) || !options.traceFile.empty())) {
                *why = "--port: " + other.label + " and " + plan.label +
                       (backupFolder(job) ? " would share the backup folder " + plan.folder
                                          : " would share the trace file " +
                                                traceFileFor(options.traceFile, plan.folder));
                return std::nullopt;
            }
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

}  // namespace tidewell::cli
