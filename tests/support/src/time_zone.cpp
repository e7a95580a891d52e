#include "tidewell/time_zone.h"

#include <cstdlib>

namespace tidewell::testing {

ScopedTimeZone::ScopedTimeZone(const std::string& zone) {
    if (const char* now = std::getenv("TZ")) saved_ = now;
    setTimeZone(zone);
}

ScopedTimeZone::~ScopedTimeZone() {
    setTimeZone(saved_);
}

}  // namespace tidewell::testing
