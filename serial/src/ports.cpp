#include "tidewell/serial/ports.h"

#include <cctype>

namespace tidewell {

namespace {

constexpr std::string_view kComPrefix = "COM";

}  // namespace

std::string comKey(unsigned number) {
    return std::string(kComPrefix) + std::to_string(number);
}

std::optional<std::uint8_t> comPortNumber(std::string_view key) {
    if (key.size() <= kComPrefix.size() || key.size() > kComPrefix.size() + 2) return std::nullopt;
    for (std::size_t i = 0; i < kComPrefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(key[i])) != kComPrefix[i]) return std::nullopt;
    }
    if (key[kComPrefix.size()] == '0') return std::nullopt;
    unsigned number = 0;
    for (const char c : key.substr(kComPrefix.size())) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (number < kFirstComPort || number > kLastComPort) return std::nullopt;
    return static_cast<std::uint8_t>(number);
}

ComPortResolver::ComPortResolver(SettingsStore store, DeviceRoots roots)
    : store_(std::move(store)), roots_(std::move(roots)) {}

std::optional<std::uint8_t> ComPortResolver::numberOf(const std::string& devicePath) const {
    for (const auto& [key, value] : store_.getSection(kPortsSection)) {
        const auto number = comPortNumber(key);
        if (number && !value.empty() && sameDeviceFile(value, devicePath)) return number;
    }
    return std::nullopt;
}

}  // namespace tidewell
