// Windows: named pipes live under \\.\pipe\, never among files, so a plain open of a
// file name cannot block; only a folder needs telling apart. The file is shared for
// deletion too, so that a writer can replace it (MoveFileEx) while it is being read.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <system_error>

#include "tidewell/fsutil/regular_file.h"

namespace tidewell::fsutil {

namespace {

int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        default:
            return EACCES;
    }
}

// A C runtime descriptor for reading, binary; -1 with errno set when it cannot be opened.
int openShared(const std::filesystem::path& path) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOf(::GetLastError());
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) ::CloseHandle(handle);
    return fd;
}

}  // namespace

// Windows keeps no mode bits: the file inherits its folder's access.
int createNewFile(const std::filesystem::path& path, mode_t /*mode*/) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return errnoOf(::GetLastError());
    ::CloseHandle(handle);
    return 0;
}

RegularFile openRegularFile(const std::filesystem::path& path) {
    RegularFile file;
    UniqueFd fd(openShared(path));
    if (!fd) {
        file.error = errno;
        // A folder does not open at all here; report it as Linux does.
        std::error_code ec;
        if (file.error == EACCES && std::filesystem::is_directory(path, ec)) {
            file.opened = true;
            file.type = _S_IFDIR;
            file.error = EISDIR;
        }
        return file;
    }
    file.opened = true;
    struct _stat64 info {};
    if (::_fstat64(fd.get(), &info) != 0) {
        file.error = errno;
        return file;
    }
    file.type = info.st_mode & _S_IFMT;
    if ((info.st_mode & _S_IFMT) != _S_IFREG) return file;
    file.size = static_cast<std::uint64_t>(info.st_size);
    file.fd = std::move(fd);
    return file;
}

int readRest(const RegularFile& file, std::string& text, std::size_t limit) {
    char buffer[8192];
    for (;;) {
        const int got = ::_read(file.fd.get(), buffer, sizeof buffer);
        if (got == 0) return 0;
        if (got < 0) return errno;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > limit) return EFBIG;
    }
}

}  // namespace tidewell::fsutil
