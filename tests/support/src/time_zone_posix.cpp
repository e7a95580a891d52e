#include <cstdlib>
#include <ctime>

#include "tidewell/time_zone.h"

namespace tidewell::testing {

void setTimeZone(const std::optional<std::string>& zone) {
    zone ? ::setenv("TZ", zone->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace tidewell::testing
