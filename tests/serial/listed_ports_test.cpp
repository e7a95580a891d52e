// The COM ports of Windows' two lists merged: the device namespace's names and the ports
// class's devices with their friendly names.
#include "tidewell/serial/listed_ports.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

std::string shown(const std::vector<ListedComPort>& ports) {
    std::string text;
    for (const auto& port : ports) {
        text += "COM" + std::to_string(port.number) + "=" + port.friendlyName + ";";
    }
    return text;
}

TEST(ListedComPorts, EachNumberOnceInOrderWithTheDevicesFriendlyName) {
    const std::vector<std::string> dosNames = {"COM5", "AUX",   "com3", "LPT1",
                                               "COM3", "COM17", "COM05"};
    const std::vector<NamedPortDevice> devices = {
        {"COM3", "USB Serial Port (COM3)"},        {"LPT1", "Printer Port (LPT1)"},
        {"COM3", "A second device claiming COM3"}, {"COM7", ""},  // no friendly name
        {"COM9", "Bluetooth Serial Link (COM9)"},  // present, but not in the namespace yet
        {"", "A device without a port name"},
    };
    EXPECT_EQ(shown(mergeListedPorts(dosNames, devices)),
              "COM3=USB Serial Port (COM3);COM5=;COM7=;COM9=Bluetooth Serial Link (COM9);");
    EXPECT_EQ(shown(mergeListedPorts(dosNames, {})), "COM3=;COM5=;");
}

}  // namespace
}  // namespace tidewell
