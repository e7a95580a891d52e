// Windows: rename() refuses an existing target, so the partial file is moved over the
// reserved name with MoveFileExW; files have no mode bits to give.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "backup_files.h"

namespace tidewell::detail {

int reserveName(const std::filesystem::path& target, mode_t* mode) {
    const int fd =
        ::_wopen(target.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return errno;
    ::_close(fd);
    *mode = _S_IFREG | _S_IREAD | _S_IWRITE;
    return 0;
}

void giveMode(const std::filesystem::path& /*file*/, mode_t /*mode*/) {}

int moveOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
    return ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}

void removeFile(const std::filesystem::path& file) {
    ::_wunlink(file.c_str());
}

int typeOf(const std::filesystem::path& path, mode_t* mode) {
    struct _stat64 info {};
    if (::_wstat64(path.c_str(), &info) != 0) return errno;
    *mode = info.st_mode;
    return 0;
}

bool isRegular(mode_t mode) {
    return (mode & _S_IFMT) == _S_IFREG;
}

}  // namespace tidewell::detail
