// Windows: the new file is binary and not inherited by child processes.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "local_file.h"

namespace tidewell {

bool LocalFile::openForWriting(const std::string& path) {
    close();
    path_ = path;
    // Created here and only here: never a file that was put in its place.
    fd_ = ::_wopen(std::filesystem::path(path).c_str(),
                   _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd_ < 0) {
        lastErrno_ = errno;
        return false;
    }
    return true;
}

}  // namespace tidewell
