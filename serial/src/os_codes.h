// The platform's error codes that TSerie names itself, and their words.
#pragma once

#include <string>
#include <string_view>

#include "tidewell/serial/comm.h"

namespace tidewell::detail {

// COMn stands for no device.
DWORD noSuchPortCode();
// No backend could be made for the device.
DWORD noDeviceCode();
// An operation on a port that is not open.
DWORD notOpenCode();
// Words to add to an open refused with code (how to get the permission), or empty.
std::string_view openRefusedHint(DWORD code);

}  // namespace tidewell::detail
