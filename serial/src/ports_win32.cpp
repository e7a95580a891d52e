// Windows numbers its serial ports itself: COMn is "\\.\COMn" unless [Ports] points the
// number elsewhere, and the ports present are the COM names the system's device
// namespace lists (QueryDosDevice).
// clang-format off
#include "tidewell/serial/ports.h"
#include "tidewell/serial/win32_backend.h"
#include <windows.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <vector>

namespace tidewell {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLocalDevicePrefix = "\\\\.\\";

// The numbers of the COM ports the system lists now, in order.
std::vector<std::uint8_t> listedComNumbers() {
    std::vector<char> names(64 * 1024);
    const ::DWORD length =
        ::QueryDosDeviceA(nullptr, names.data(), static_cast<::DWORD>(names.size()));
    std::vector<std::uint8_t> numbers;
    for (std::size_t at = 0; at < length && names[at] != '\0';) {
        const std::string name(names.data() + at);
        if (const auto number = comPortNumber(name)) numbers.push_back(*number);
        at += name.size() + 1;
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string upperWithoutPrefix(std::string path) {
    if (path.rfind(kLocalDevicePrefix, 0) == 0) path.erase(0, kLocalDevicePrefix.size());
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return path;
}

}  // namespace

std::vector<SerialDevice> ComPortResolver::presentDevices() const {
    std::vector<SerialDevice> devices;
    for (const std::uint8_t number : listedComNumbers()) {
        devices.push_back({win32DevicePath(number), comKey(number)});
    }
    return devices;
}

std::vector<ComPortEntry> ComPortResolver::entries() {
    const std::vector<std::uint8_t> listed = listedComNumbers();
    std::vector<ComPortEntry> list;
    for (unsigned n = kFirstComPort; n <= kLastComPort; ++n) {
        ComPortEntry entry;
        entry.number = static_cast<std::uint8_t>(n);
        const auto mapped = store_.find(kPortsSection, comKey(n));
        std::error_code ec;
        if (mapped && !mapped->empty()) {
            entry.devicePath = *mapped;
            entry.present = fs::exists(*mapped, ec);
        } else {
            entry.devicePath = win32DevicePath(entry.number);
            entry.present = std::find(listed.begin(), listed.end(), n) != listed.end();
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::string ComPortResolver::resolve(std::uint8_t portNumber) {
    if (auto path = store_.find(kPortsSection, comKey(portNumber)); path && !path->empty()) {
        return *path;
    }
    return win32DevicePath(portNumber);
}

bool ComPortResolver::assignNumbers() {
    return true;
}

fs::path byIdLink(const fs::path& /*devicePath*/, const DeviceRoots& /*roots*/) {
    return {};
}

bool sameDeviceFile(const fs::path& a, const fs::path& b) {
    if (upperWithoutPrefix(a.string()) == upperWithoutPrefix(b.string())) return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

SerialPlatform serialPlatform(ComPortResolver resolver) {
    return SerialPlatform{[] { return makeWin32Backend(makeSystemWin32Comm()); },
                          [resolver = std::move(resolver)](std::uint8_t portNumber) mutable {
                              return resolver.resolve(portNumber);
                          }};
}

SerialPlatform defaultSerialPlatform() {
    return serialPlatform(ComPortResolver());
}

}  // namespace tidewell
