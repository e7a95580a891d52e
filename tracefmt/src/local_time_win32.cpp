// Windows: strftime's %z gives the zone's name, not its offset; the offset is the
// difference between the local and the UTC reading of the same moment.
#include <cstdio>
#include <ctime>

#include "local_time.h"

namespace tidewell::tracefmt::detail {

namespace {

constexpr int kMinutesPerDay = 24 * 60;

int offsetMinutes(const std::tm& local, const std::tm& utc) {
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    return days * kMinutesPerDay + (local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min;
}

}  // namespace

std::string localTimeText(std::time_t when) {
    std::tm local{};
    std::tm utc{};
    localtime_s(&local, &when);
    gmtime_s(&utc, &when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const int offset = offsetMinutes(local, utc);
    const int size = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s %c%02d%02d", stamp, offset < 0 ? '-' : '+', size / 60,
                  size % 60);
    return text;
}

std::time_t utcTime(std::tm& utc) {
    return _mkgmtime(&utc);
}

}  // namespace tidewell::tracefmt::detail
