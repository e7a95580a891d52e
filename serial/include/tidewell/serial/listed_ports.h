// The COM ports Windows lists, from its two sources: the device namespace (QueryDosDevice:
// every COM name, no description) and the device list of the ports class (SetupAPI: the
// devices present, with the "PortName" of their registry key and their friendly name, as
// Device Manager shows them). Merged here, so that the merge is tested on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tidewell {

// A device of the ports class.
struct NamedPortDevice {
    std::string portName;      // "COM3"; printer ports ("LPT1") and others name no COM number
    std::string friendlyName;  // "USB Serial Port (COM3)", or empty
};

struct ListedComPort {
    std::uint8_t number = 0;
    std::string friendlyName;  // empty when no device names it
};

// Every COM number of either source, once, in order; a number both know takes the
// device's friendly name.
std::vector<ListedComPort> mergeListedPorts(const std::vector<std::string>& dosDeviceNames,
                                            const std::vector<NamedPortDevice>& devices);

}  // namespace tidewell
