#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tidewell/fsutil/regular_file.h"

namespace tidewell::fsutil {

int createNewFile(const std::filesystem::path& path, mode_t mode) {
    const UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    return fd ? 0 : errno;
}

RegularFile openRegularFile(const std::filesystem::path& path) {
    RegularFile file;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        file.error = errno;
        return file;
    }
    file.opened = true;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        file.error = errno;
        return file;
    }
    file.type = info.st_mode & S_IFMT;
    if (S_ISDIR(info.st_mode)) {
        file.error = EISDIR;  // a folder opens, but cannot be read
        return file;
    }
    if (!S_ISREG(info.st_mode)) return file;
    // Reads of a regular file never wait; clear the flag all the same.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    file.size = static_cast<std::uint64_t>(info.st_size);
    file.fd = std::move(fd);
    return file;
}

int readRest(const RegularFile& file, std::string& text, std::size_t limit) {
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(file.fd.get(), buffer, sizeof buffer);
        if (got == 0) return 0;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > limit) return EFBIG;
    }
}

}  // namespace tidewell::fsutil
