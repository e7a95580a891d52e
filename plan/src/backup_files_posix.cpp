#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "backup_files.h"

namespace tidewell::detail {

namespace {

constexpr mode_t kNewFileMode = 0644;

}  // namespace

int reserveName(const std::filesystem::path& target, mode_t* mode) {
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return errno;
    struct stat placeholder {};
    *mode = fstat(fd, &placeholder) == 0 ? placeholder.st_mode : kNewFileMode;
    close(fd);
    return 0;
}

void giveMode(const std::filesystem::path& file, mode_t mode) {
    chmod(file.c_str(), mode & 0777);
}

int moveOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void removeFile(const std::filesystem::path& file) {
    unlink(file.c_str());
}

int typeOf(const std::filesystem::path& path, mode_t* mode) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return errno;
    *mode = info.st_mode;
    return 0;
}

bool isRegular(mode_t mode) {
    return S_ISREG(mode);
}

}  // namespace tidewell::detail
