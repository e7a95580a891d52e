// The `ports` listing: COM1 to COM16, the device behind each and whether it is there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tidewell/serial/ports.h"

namespace tidewell::cli {

// One line per entry: "COM3  /dev/ttyUSB0  present", "COM4  -  (nothing assigned)";
// the saved port (the wizard's) is marked "(saved)". Descriptions (Windows' friendly
// names) get a column after the device when any entry has one.
std::string formatPortList(const std::vector<ComPortEntry>& entries, std::uint8_t savedPort);

}  // namespace tidewell::cli
