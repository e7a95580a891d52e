// Creating a private folder with the folders above it.
#pragma once

#include <sys/types.h>

#include <filesystem>

namespace tidewell::fsutil {

// Creates folder and every missing folder above it with mode (0700 for private ones);
// a folder that exists is left as it is. 0 on success, else the errno of the step that
// failed (ENOTDIR when a file stands in the way).
int makeFolders(const std::filesystem::path& folder, mode_t mode);

}  // namespace tidewell::fsutil
