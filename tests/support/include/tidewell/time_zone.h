// Sets the process's time zone for a test and puts the one before back when it ends.
#pragma once

#include <optional>
#include <string>

namespace tidewell::testing {

// TZ, or nothing when unset.
void setTimeZone(const std::optional<std::string>& zone);

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> saved_;
};

}  // namespace tidewell::testing
