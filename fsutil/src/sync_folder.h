// Makes a rename in folder durable, where the system needs a step for it.
#pragma once

#include <filesystem>

namespace tidewell::fsutil {

void syncFolder(const std::filesystem::path& folder);

}  // namespace tidewell::fsutil
