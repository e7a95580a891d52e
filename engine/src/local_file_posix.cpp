#include <fcntl.h>

#include <cerrno>

#include "local_file.h"

namespace tidewell {

bool LocalFile::openForWriting(const std::string& path) {
    close();
    path_ = path;
    // Created here and only here: never a file or link that was put in its place, and
    // private while it fills (a kept backup is given its final mode when it is named).
    fd_ =
        ::open(path.c_str(),
               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        lastErrno_ = errno;
        return false;
    }
    return true;
}

}  // namespace tidewell
