#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "settings_folder.h"
#include "tidewell/ini/settings_store.h"

namespace tidewell {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kNewFileMode = 0600;

}  // namespace

fs::path defaultSettingsPath() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
        }
        base = fs::path(home && *home ? home : ".") / ".config";
    }
    return base / "tidewell" / "tidewell.ini";
}

namespace detail {

mode_t modeForRewrite(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : kNewFileMode;
}

const char* specialFileKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

FolderLock::FolderLock(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        failedStep_ = "open";
        return;
    }
    handle_ = fd;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error_ = errno;
            failedStep_ = "lock";
            return;
        }
    }
}

FolderLock::~FolderLock() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace detail

}  // namespace tidewell
