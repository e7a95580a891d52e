#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "sync_folder.h"
#include "tidewell/fsutil/temporary_file.h"

namespace tidewell::fsutil {

TemporaryFile::TemporaryFile(const std::filesystem::path& folder, const std::string& prefix) {
    std::string name = (folder / (prefix + "XXXXXX")).string();
    fd_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd_) {
        creationError_ = errno;
        return;
    }
    path_ = name;
}

TemporaryFile::~TemporaryFile() {
    fd_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
}

int TemporaryFile::writeAll(std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = ::write(fd_.get(), text.data(), text.size());
        if (done < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return 0;
}

int TemporaryFile::closeSynced() {
    if (::fsync(fd_.get()) != 0) return errno;
    if (::close(fd_.release()) != 0) return errno;
    return 0;
}

void TemporaryFile::keepNameOnly() {
    fd_.reset();
    ::unlink(path_.c_str());
}

int TemporaryFile::renameTo(const std::filesystem::path& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    path_.clear();
    return 0;
}

int TemporaryFile::setMode(mode_t mode) {
    return ::fchmod(fd_.get(), mode) != 0 ? errno : 0;
}

// The rename is durable only once the folder itself is synced; a folder that cannot be
// synced (some file systems) still holds the complete file.
void syncFolder(const std::filesystem::path& folder) {
    if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        ::fsync(dir.get());
    }
}

}  // namespace tidewell::fsutil
