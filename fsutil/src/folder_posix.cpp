#include <sys/stat.h>

#include <cerrno>

#include "tidewell/fsutil/folder.h"

namespace tidewell::fsutil {

int makeFolders(const std::filesystem::path& folder, mode_t mode) {
    if (folder.empty()) return 0;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (const int error = makeFolders(folder.parent_path(), mode); error != 0) return error;
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) return errno;
    return 0;
}

}  // namespace tidewell::fsutil
