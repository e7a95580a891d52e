#include <ctime>

#include "local_time.h"

namespace tidewell::tracefmt::detail {

std::string localTimeText(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return text;
}

std::time_t utcTime(std::tm& utc) {
    return timegm(&utc);
}

}  // namespace tidewell::tracefmt::detail
