#include "tidewell/cli/port_list.h"

#include <algorithm>

namespace tidewell::cli {

std::string formatPortList(const std::vector<ComPortEntry>& entries, std::uint8_t savedPort) {
    constexpr std::string_view kNone = "-";
    std::size_t width = kNone.size();
    std::size_t descriptionWidth = 0;  // no column when no entry has a description
    for (const auto& entry : entries) {
        width = std::max(width, entry.devicePath.size());
        descriptionWidth = std::max(descriptionWidth, entry.description.size());
    }
    std::string text;
    for (const auto& entry : entries) {
        std::string name = "COM" + std::to_string(entry.number);
        name.resize(std::max<std::size_t>(name.size(), 5), ' ');
        std::string path = entry.devicePath.empty() ? std::string(kNone) : entry.devicePath;
        path.resize(width, ' ');
        if (descriptionWidth > 0) {
            std::string description = entry.description;
            description.resize(descriptionWidth, ' ');
            path += "  " + description;
        }
        std::string state = entry.devicePath.empty() ? "(nothing assigned)"
                            : entry.present          ? "present"
                                                     : "absent";
        if (entry.number == savedPort) state += "  (saved)";
        text += name + "  " + path + "  " + state + "\n";
    }
    return text;
}

}  // namespace tidewell::cli
