// A moment in local time with its offset from UTC: "2026-12-09 22:40:01 +0000".
#pragma once

#include <ctime>
#include <string>

namespace tidewell::tracefmt::detail {

std::string localTimeText(std::time_t when);

}  // namespace tidewell::tracefmt::detail
