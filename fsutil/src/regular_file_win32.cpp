// Windows: named pipes live under \\.\pipe\, never among files, so a plain open of a
// file name cannot block; only a folder needs telling apart.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "tidewell/fsutil/regular_file.h"

namespace tidewell::fsutil {

RegularFile openRegularFile(const std::filesystem::path& path) {
    RegularFile file;
    UniqueFd fd(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
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

}  // namespace tidewell::fsutil
