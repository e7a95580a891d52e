#include "tidewell/plan/regular_file.h"

#include "tidewell/fsutil/regular_file.h"

namespace tidewell {

bool opensAsRegularFile(const std::string& path) {
    return fsutil::openRegularFile(path).ok();
}

}  // namespace tidewell
