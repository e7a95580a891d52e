#include "tidewell/records/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tidewell::records {

std::string osReason(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error) + " (errno " +
           std::to_string(error) + ")";
}

std::optional<InputFile> InputFile::open(const std::filesystem::path& path, std::string* why,
                                         int* error) {
    const auto fail = [&](std::string text, int code) -> std::optional<InputFile> {
        if (why != nullptr) *why = std::move(text);
        if (error != nullptr) *error = code;
        return std::nullopt;
    };
    // O_NONBLOCK: a FIFO would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        return fail(osReason("cannot open", path, code), code);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(osReason("cannot read", path, code), code);
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        return fail(osReason("cannot read", path, EISDIR), EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail("cannot read " + path.string() + ": not a regular file", 0);
    }
    // Reads of a regular file never wait; clear the flag all the same.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return InputFile(fd, path, static_cast<std::uint64_t>(info.st_size));
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), size_(other.size_) {}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::size_t> InputFile::read(std::uint8_t* buffer, std::size_t size,
                                           std::string* why) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd_, buffer + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (why != nullptr) *why = osReason("cannot read", path_, errno);
            return std::nullopt;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

}  // namespace tidewell::records
