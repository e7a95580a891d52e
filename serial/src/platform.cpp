#include <cstdlib>
#include <fstream>
#include <string>

#include "tidewell/serial/tserie.h"

namespace tidewell {

namespace {

std::string settingsFilePath() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/tidewell/tidewell.ini";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + "/.config/tidewell/tidewell.ini";
    }
    return {};
}

// The COMn key of [Ports]; empty when absent.
std::string portFromSettings(std::uint8_t portNumber) {
    std::ifstream in(settingsFilePath());
    const std::string key = "COM" + std::to_string(portNumber);
    bool inPorts = false;
    std::string value;
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        if (line[first] == '[') {
            inPorts = line.compare(first, 7, "[Ports]") == 0;
            continue;
        }
        const auto eq = line.find('=');
        if (!inPorts || eq == std::string::npos) continue;
        auto name = line.substr(first, eq - first);
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name != key) continue;
        value = line.substr(eq + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r") + 1);
    }
    return value;
}

}  // namespace

SerialPlatform defaultSerialPlatform() {
    return SerialPlatform{makeTermiosBackend, portFromSettings};
}

}  // namespace tidewell
