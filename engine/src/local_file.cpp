#include "local_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"

namespace tidewell {

LocalFile::~LocalFile() {
    close();
}

bool LocalFile::openForReading(const std::string& path) {
    close();
    path_ = path;
    // Never blocks: a FIFO without a writer would otherwise hold the worker in open().
    fsutil::RegularFile file = fsutil::openRegularFile(path);
    if (!file.ok()) {
        // A FIFO or a device has no length to send.
        lastErrno_ = file.error != 0 ? file.error : EINVAL;
        return false;
    }
    fd_ = file.fd.release();
    return true;
}

bool LocalFile::size(std::uint64_t& length) {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
        lastErrno_ = fd_ < 0 ? EBADF : errno;
        return false;
    }
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool LocalFile::readExactly(std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd_, data + done, count - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastErrno_ = errno;
            return false;
        }
        if (got == 0) {
            lastErrno_ = ENODATA;  // the file ended before its measured length
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool LocalFile::writeAll(const std::uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd_, data + done, count - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastErrno_ = errno;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool LocalFile::close() {
    if (fd_ < 0) {
        return true;
    }
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) {
        lastErrno_ = errno;
        return false;
    }
    return true;
}

std::string LocalFile::describeError() const {
    return fsutil::OsError{{}, path_, lastErrno_}.text();
}

}  // namespace tidewell
