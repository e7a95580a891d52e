// A moment in local time with its offset from UTC: "2026-12-09 22:40:01 +0000".
#pragma once

#include <ctime>
#include <string>

namespace tidewell::tracefmt::detail {

std::string localTimeText(std::time_t when);

// The moment of a calendar time read as UTC (timegm); -1 when it has none.
std::time_t utcTime(std::tm& utc);

}  // namespace tidewell::tracefmt::detail
