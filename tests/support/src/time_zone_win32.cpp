#include <cstdlib>
#include <ctime>

#include "tidewell/time_zone.h"

namespace tidewell::testing {

// An empty TZ is the system's own zone.
void setTimeZone(const std::optional<std::string>& zone) {
    ::_putenv_s("TZ", zone.value_or("").c_str());
    ::_tzset();
}

}  // namespace tidewell::testing
