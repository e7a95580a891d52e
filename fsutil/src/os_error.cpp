#include "tidewell/fsutil/os_error.h"

#include <system_error>

namespace tidewell::fsutil {

std::string reasonText(int error) {
    return std::generic_category().message(error) + " (errno " + std::to_string(error) + ")";
}

std::string OsError::text() const {
    return (what.empty() ? std::string() : what + " ") + path.string() + ": " + reasonText(error);
}

}  // namespace tidewell::fsutil
