#include <cerrno>

#include "tidewell/fsutil/folder.h"

namespace tidewell::fsutil {

// Windows keeps no mode bits: a folder under the user's profile is the user's own.
int makeFolders(const std::filesystem::path& folder, mode_t /*mode*/) {
    if (folder.empty()) return 0;
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) {
        return std::filesystem::is_directory(folder, ec) ? 0 : ENOTDIR;
    }
    std::filesystem::create_directories(folder, ec);
    return ec ? ec.value() : 0;
}

}  // namespace tidewell::fsutil
