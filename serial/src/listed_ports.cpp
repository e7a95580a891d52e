#include "tidewell/serial/listed_ports.h"

#include <map>

#include "tidewell/serial/ports.h"

namespace tidewell {

std::vector<ListedComPort> mergeListedPorts(const std::vector<std::string>& dosDeviceNames,
                                            const std::vector<NamedPortDevice>& devices) {
    std::map<std::uint8_t, std::string> names;
    for (const auto& device : devices) {
        const auto number = comPortNumber(device.portName);
        if (!number) continue;
        std::string& name = names[*number];
        if (name.empty()) name = device.friendlyName;
    }
    for (const auto& dosName : dosDeviceNames) {
        if (const auto number = comPortNumber(dosName)) names.try_emplace(*number);
    }
    std::vector<ListedComPort> ports;
    for (auto& [number, name] : names) ports.push_back({number, std::move(name)});
    return ports;
}

}  // namespace tidewell
