// Linux: the serial devices in sysfs, with sticky COM numbers kept in [Ports].
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <system_error>

#include "tidewell/serial/ports.h"

namespace tidewell {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNoHardwareType = "0";

// Name order with digit runs compared as numbers: ttyS2 before ttyS10.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const auto na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            const auto ta = na.substr(std::min(na.find_first_not_of('0'), na.size()));
            const auto tb = nb.substr(std::min(nb.find_first_not_of('0'), nb.size()));
            if (ta.size() != tb.size()) return ta.size() < tb.size();
            if (ta != tb) return ta < tb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

bool mapped(const SerialDevice& device, const SettingsEntries& ports) {
    return std::any_of(ports.begin(), ports.end(), [&](const auto& entry) {
        return comPortNumber(entry.first) && !entry.second.empty() &&
               (entry.second == device.stableName || sameDeviceFile(entry.second, device.node));
    });
}

}  // namespace

std::vector<SerialDevice> ComPortResolver::presentDevices() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(roots_.sysClassTty, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path entry = it->path();
        std::error_code probe;
        if (!fs::exists(entry / "device", probe)) continue;  // virtual terminals, ptys
        const fs::path type = entry / "type";
        if (fs::exists(type, probe) && firstLine(type) == kNoHardwareType) continue;
        const std::string name = entry.filename().string();
        if (!fs::exists(roots_.dev / name, probe)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);

    std::vector<SerialDevice> devices;
    for (const auto& name : names) {
        SerialDevice device;
        device.node = (roots_.dev / name).string();
        const fs::path link = byIdLink(device.node, roots_);
        device.stableName = link.empty() ? device.node : link.string();
        devices.push_back(std::move(device));
    }
    return devices;
}

fs::path byIdLink(const fs::path& devicePath, const DeviceRoots& roots) {
    std::error_code ec;
    std::vector<fs::path> links;
    for (fs::directory_iterator it(roots.dev / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        links.push_back(it->path());
    }
    std::sort(links.begin(), links.end());
    for (const auto& link : links) {
        if (sameDeviceFile(link, devicePath)) return link;
    }
    return {};
}

bool ComPortResolver::assignNumbers() {
    const std::vector<SerialDevice> devices = presentDevices();
    if (devices.empty()) return true;
    return store_.updateSection(kPortsSection, [&](const SettingsEntries& ports) {
        bool taken[kLastComPort + 1] = {};
        for (const auto& [key, value] : ports) {
            if (const auto n = comPortNumber(key); n && !value.empty()) taken[*n] = true;
        }
        SettingsEntries changes;
        for (const auto& device : devices) {
            if (mapped(device, ports)) continue;
            unsigned n = kFirstComPort;
            while (n <= kLastComPort && taken[n]) ++n;
            if (n > kLastComPort) break;  // every number is in use
            taken[n] = true;
            changes.emplace_back(comKey(n), device.stableName);
        }
        return changes;
    });
}

std::vector<ComPortEntry> ComPortResolver::entries() {
    assignNumbers();
    const SettingsEntries ports = store_.getSection(kPortsSection);
    std::vector<ComPortEntry> list;
    for (unsigned n = kFirstComPort; n <= kLastComPort; ++n) {
        ComPortEntry entry;
        entry.number = static_cast<std::uint8_t>(n);
        for (const auto& [key, value] : ports) {
            if (comPortNumber(key) == n) {
                entry.devicePath = value;
                break;
            }
        }
        std::error_code ec;
        entry.present = !entry.devicePath.empty() && fs::exists(entry.devicePath, ec);
        list.push_back(std::move(entry));
    }
    return list;
}

std::string ComPortResolver::resolve(std::uint8_t portNumber) {
    const std::string key = comKey(portNumber);
    if (auto path = store_.find(kPortsSection, key); path && !path->empty()) return *path;
    if (portNumber < kFirstComPort || portNumber > kLastComPort) return {};
    assignNumbers();
    return store_.getString(kPortsSection, key);
}

bool sameDeviceFile(const fs::path& a, const fs::path& b) {
    if (a == b) return true;
    // std::filesystem::equivalent refuses to compare two devices: stat does it.
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    const auto type = first.st_mode & S_IFMT;
    if (type != (second.st_mode & S_IFMT)) return false;
    if (type == S_IFCHR || type == S_IFBLK) return first.st_rdev == second.st_rdev;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

SerialPlatform serialPlatform(ComPortResolver resolver) {
    return SerialPlatform{makeTermiosBackend,
                          [resolver = std::move(resolver)](std::uint8_t portNumber) mutable {
                              return resolver.resolve(portNumber);
                          }};
}

SerialPlatform defaultSerialPlatform() {
    return serialPlatform(ComPortResolver());
}

}  // namespace tidewell
